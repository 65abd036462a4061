#pragma once

#include <QDateTime>
#include <QString>

// Short human text for how long ago `dateTime` was: "just now", "5m ago",
// "3h ago", "Yesterday", a weekday name, or a date. "" for an invalid value.
QString relativeTime(const QDateTime &dateTime);
// The same against a given current time, so the texts can be checked.
QString relativeTime(const QDateTime &dateTime, const QDateTime &now);

// How long ago a note went to the trash, as a duration: "Trashed just now",
// "Trashed 5 minutes ago", "Trashed 3 days ago", "Trashed 2 months ago".
// "" for an invalid value.
QString trashedAgo(const QDateTime &trashedAt, const QDateTime &now);
