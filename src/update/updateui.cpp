#include "updateui.h"

#include "client.h"
#include "releasenotesfetcher.h"
#include "updatedialog.h"
#include "whatsnewdialog.h"

#include <QCoreApplication>
#include <QDebug>
#include <QPointer>
#include <QUrlQuery>
#include <QWidget>

namespace BrioUpdate {

namespace {

constexpr int kMessageTimeoutMs = 5000;

// The caller's window, remembered so a late answer opens nothing once the
// window is gone. A caller without a window gets top-level dialogs.
class ParentGuard
{
public:
    explicit ParentGuard(QWidget *parent)
        : m_parent(parent)
        , m_hadParent(parent != nullptr)
    {
    }
    bool gone() const { return m_hadParent && m_parent.isNull(); }
    QWidget *get() const { return m_parent.data(); }

private:
    QPointer<QWidget> m_parent;
    bool m_hadParent;
};

void callBusy(const UiCallbacks &callbacks, const QString &text)
{
    if (callbacks.busy)
        callbacks.busy(text);
}

void callDone(const UiCallbacks &callbacks)
{
    if (callbacks.done)
        callbacks.done();
}

void finishWithMessage(const UiCallbacks &callbacks, const QString &text)
{
    callDone(callbacks);
    if (callbacks.message)
        callbacks.message(text, kMessageTimeoutMs);
}

void showDialog(QDialog *dialog)
{
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
}

void openWhatsNew(const ParentGuard &parent, const QString &markdown, const QString &displayName,
    const QString &version, const QString &runningVersion, const QUrl &downloadUrl = QUrl())
{
    if (parent.gone())
        return;
    showDialog(new WhatsNewDialog(markdown, displayName, version, runningVersion, downloadUrl, parent.get()));
}

// Fetches notes and hands the outcome to exactly one of the two handlers; the
// fetcher deletes itself afterwards.
void fetchNotes(
    ReleaseNotesFetcher *fetcher, std::function<void(const QString &)> onReady, std::function<void()> onUnavailable)
{
    QObject::connect(fetcher, &ReleaseNotesFetcher::notesReady, fetcher, [fetcher, onReady](const QString &text) {
        fetcher->deleteLater();
        onReady(text);
    });
    QObject::connect(fetcher, &ReleaseNotesFetcher::notesUnavailable, fetcher, [fetcher, onUnavailable] {
        fetcher->deleteLater();
        onUnavailable();
    });
    fetcher->fetch();
}

// Runs one manifest check; the client deletes itself after its one signal.
void runCheck(const Config &config, std::function<void(const Artifact &)> onAvailable, std::function<void()> onUpToDate,
    std::function<void(const QString &)> onFailed)
{
    auto *client = new Client(config, QCoreApplication::instance());
    QObject::connect(client, &Client::updateAvailable, client, [client, onAvailable](const Artifact &artifact) {
        client->deleteLater();
        onAvailable(artifact);
    });
    QObject::connect(client, &Client::upToDate, client, [client, onUpToDate] {
        client->deleteLater();
        onUpToDate();
    });
    QObject::connect(client, &Client::checkFailed, client, [client, onFailed](const QString &reason) {
        client->deleteLater();
        onFailed(reason);
    });
    client->check();
}

} // namespace

void showStartupWhatsNew(const Config &config, const QString &displayName, QWidget *parent)
{
    const ParentGuard guard(parent);
    fetchNotes(
        new ReleaseNotesFetcher(config, QCoreApplication::instance()),
        [guard, config, displayName](const QString &markdown) {
            openWhatsNew(guard, markdown, displayName, config.currentVersion, config.currentVersion);
        },
        [] {});
}

void checkForUpdatesSilently(const Config &config, const QString &displayName, QWidget *parent)
{
    const ParentGuard guard(parent);
    runCheck(
        config,
        [guard, config, displayName](const Artifact &artifact) {
            if (guard.gone())
                return;
            auto *dialog = new UpdateDialog(artifact, displayName, config.currentVersion, guard.get());
            // Nobody asked for it, so it must not block the windows the user is working in.
            dialog->setModal(false);
            showDialog(dialog);
        },
        [] {}, [](const QString &reason) { qWarning().noquote() << "update check failed:" << reason; });
}

void checkForUpdates(const Config &config, const QString &displayName, QWidget *parent, const UiCallbacks &callbacks)
{
    const ParentGuard guard(parent);
    callBusy(callbacks, QCoreApplication::translate("BrioUpdate", "Checking for updates…"));
    runCheck(
        config,
        [guard, callbacks, config, displayName](const Artifact &artifact) {
            callDone(callbacks);
            if (guard.gone())
                return;
            showDialog(new UpdateDialog(artifact, displayName, config.currentVersion, guard.get()));
        },
        [callbacks, config, displayName] {
            finishWithMessage(callbacks,
                QCoreApplication::translate("BrioUpdate", "%1 is up to date (version %2)")
                    .arg(displayName, config.currentVersion));
        },
        [callbacks](const QString &reason) {
            finishWithMessage(
                callbacks, QCoreApplication::translate("BrioUpdate", "Update check failed: %1").arg(reason));
        });
}

void showWhatsNew(const Config &config, const QString &displayName, QWidget *parent, const UiCallbacks &callbacks)
{
    const ParentGuard guard(parent);
    const auto nothingToShow = [callbacks, config, displayName] {
        finishWithMessage(callbacks,
            QCoreApplication::translate("BrioUpdate", "No release notes available for %1 %2")
                .arg(displayName, config.currentVersion));
    };
    const auto fromNewerRelease = [guard, callbacks, config, displayName, nothingToShow](const Artifact &artifact) {
        if (!artifact.releaseNotesUrl.isValid()) {
            nothingToShow();
            return;
        }
        fetchNotes(
            new ReleaseNotesFetcher(artifact.releaseNotesUrl, config.app, QCoreApplication::instance()),
            [guard, callbacks, config, displayName, artifact](const QString &markdown) {
                callDone(callbacks);
                openWhatsNew(guard, markdown, displayName, artifact.version, config.currentVersion, artifact.url);
            },
            nothingToShow);
    };

    callBusy(callbacks, QCoreApplication::translate("BrioUpdate", "Loading release notes…"));
    fetchNotes(
        new ReleaseNotesFetcher(config, QCoreApplication::instance()),
        [guard, callbacks, config, displayName](const QString &markdown) {
            callDone(callbacks);
            openWhatsNew(guard, markdown, displayName, config.currentVersion, config.currentVersion);
        },
        [config, fromNewerRelease, nothingToShow] {
            runCheck(config, fromNewerRelease, nothingToShow, [nothingToShow](const QString &) { nothingToShow(); });
        });
}

QUrl feedbackUrl(const FeedbackConfig &config)
{
    QUrl url = config.siteUrl;
    if (!url.path().endsWith(QLatin1Char('/')))
        url.setPath(url.path() + QLatin1Char('/'));
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("tags"), config.app);
    url.setQuery(query);
    return url;
}

void openFeedback(const FeedbackConfig &config)
{
    openInBrowser(feedbackUrl(config));
}

} // namespace BrioUpdate
