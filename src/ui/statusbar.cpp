#include "statusbar.h"

#include <QLabel>

namespace {

constexpr int kSideMargin = 8;

} // namespace

StatusBar::StatusBar(QWidget *parent)
    : QStatusBar(parent)
    , m_countLabel(new QLabel(QStringLiteral("All Notes"), this))
    , m_noteStateLabel(new QLabel(this))
    , m_syncLabel(new QLabel(QStringLiteral("Not signed in"), this))
{
    applyStyle();
    // Keeps the texts off the window edges. On the right the label keeps the
    // room, so the size grip stays in the corner.
    setContentsMargins(kSideMargin, 0, 0, 0);
    m_syncLabel->setContentsMargins(0, 0, kSideMargin, 0);
    addWidget(m_countLabel, 1);
    addPermanentWidget(m_noteStateLabel);
    addPermanentWidget(m_syncLabel);
}

void StatusBar::applyStyle()
{
    // The labels are named too: inherited from the bar alone, their colour
    // fell back to the palette's text colour after a theme switch at run
    // time, invisible on the dark window.
    setStyleSheet(QStringLiteral("QStatusBar {  font-size: 9pt;  color: %1;}QStatusBar::item { border: none; }"
                                 "QStatusBar QLabel { color: %1; }")
                      .arg(QStringLiteral("#78909C")));
}

void StatusBar::setCounts(const QString &label, int count)
{
    if (count < 0) {
        m_countLabel->setText(label);
        return;
    }
    // One arg() call: chained ones would fill a "%1" inside the label itself.
    m_countLabel->setText(QStringLiteral("%1 (%2 %3)")
                              .arg(label, QString::number(count),
                                   count == 1 ? QStringLiteral("note") : QStringLiteral("notes")));
}

void StatusBar::setWordCount(int count)
{
    m_wordCount = count;
    m_noteStateLabel->setText(count < 0 ? QString() : QStringLiteral("Words: %1").arg(count));
}

void StatusBar::setSaveState(bool saved)
{
    QString text = m_noteStateLabel->text();
    if (!text.isEmpty())
        text += QStringLiteral(" \u00b7 ");
    text += saved ? QStringLiteral("Saved") : QStringLiteral("Saving...");
    m_noteStateLabel->setText(text);
}

void StatusBar::setSaveFailed()
{
    const QString words = m_wordCount < 0 ? QString() : QStringLiteral("Words: %1 \u00b7 ").arg(m_wordCount);
    m_noteStateLabel->setText(words + QStringLiteral("Not saved"));
}

void StatusBar::setSyncText(const QString &text)
{
    m_syncLabel->setText(text);
}

QString StatusBar::countText() const
{
    return m_countLabel->text();
}

QString StatusBar::noteStateText() const
{
    return m_noteStateLabel->text();
}

QString StatusBar::syncText() const
{
    return m_syncLabel->text();
}
