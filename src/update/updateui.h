#pragma once

#include "updateconfig.h"

#include <QString>
#include <QUrl>

#include <functional>

class QWidget;

namespace BrioUpdate {

// How the entry points report progress; the caller decides where it shows.
// Every member is optional.
struct UiCallbacks
{
    std::function<void(const QString &text)> busy; // a long step started
    std::function<void()> done; // the step ended
    std::function<void(const QString &text, int timeoutMs)> message; // always 5000 ms
};

// Shows the running version's release notes when they can be fetched, and
// nothing otherwise. For the first start of a new version.
void showStartupWhatsNew(const Config &config, const QString &displayName, QWidget *parent);

// The check at start-up: offers a newer release in a non-modal UpdateDialog and
// only logs a failure; says nothing when the installation is up to date.
void checkForUpdatesSilently(const Config &config, const QString &displayName, QWidget *parent);

// The check-for-updates action: offers a newer release in an UpdateDialog,
// or reports "up to date" / the failure through callbacks.message.
void checkForUpdates(const Config &config, const QString &displayName, QWidget *parent, const UiCallbacks &callbacks);

// The what's-new action: the running version's notes, else those of a newer
// release with its download, else a message.
void showWhatsNew(const Config &config, const QString &displayName, QWidget *parent, const UiCallbacks &callbacks);

// The feedback page for the app: the site URL with a trailing "/" and ?tags=app.
QUrl feedbackUrl(const FeedbackConfig &config);
void openFeedback(const FeedbackConfig &config);

} // namespace BrioUpdate
