#include "exportdialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QRadioButton>
#include <QVBoxLayout>

ExportDialog::ExportDialog(QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(tr("Export Note"));
    setMinimumWidth(300);

    auto *group = new QGroupBox(tr("Format"), this);
    m_markdown = new QRadioButton(tr("Markdown (.md)"), group);
    m_html = new QRadioButton(tr("HTML (.html)"), group);
    m_pdf = new QRadioButton(tr("PDF (.pdf)"), group);
    m_plainText = new QRadioButton(tr("Plain text (.txt)"), group);
    m_markdown->setChecked(true);
    auto *groupLayout = new QVBoxLayout(group);
    groupLayout->addWidget(m_markdown);
    groupLayout->addWidget(m_html);
    groupLayout->addWidget(m_pdf);
    groupLayout->addWidget(m_plainText);

    m_attachments = new QCheckBox(tr("Include attachments (ZIP bundle)"), this);
    m_attachments->setToolTip(tr("Write one .zip file holding the note and all of its attached files"));

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addWidget(m_attachments);
    layout->addWidget(buttons);
}

ExportFormat ExportDialog::format() const
{
    if (m_html->isChecked())
        return ExportFormat::Html;
    if (m_pdf->isChecked())
        return ExportFormat::Pdf;
    if (m_plainText->isChecked())
        return ExportFormat::PlainText;
    return ExportFormat::Markdown;
}

bool ExportDialog::includeAttachments() const
{
    return m_attachments->isChecked();
}

QRadioButton *ExportDialog::formatButton(ExportFormat format) const
{
    switch (format) {
    case ExportFormat::Markdown:
        return m_markdown;
    case ExportFormat::Html:
        return m_html;
    case ExportFormat::Pdf:
        return m_pdf;
    case ExportFormat::PlainText:
        break;
    }
    return m_plainText;
}
