#pragma once

#include "features/export.h"

#include <QDialog>

class QCheckBox;
class QRadioButton;

// Asks for the format a note is exported in, and whether its attachments go
// with it in a ZIP bundle.
class ExportDialog : public QDialog
{
    Q_OBJECT

public:
    explicit ExportDialog(QWidget *parent = nullptr);

    ExportFormat format() const;
    bool includeAttachments() const;

    QRadioButton *formatButton(ExportFormat format) const;
    QCheckBox *attachmentsBox() const { return m_attachments; }

private:
    QRadioButton *m_markdown;
    QRadioButton *m_html;
    QRadioButton *m_pdf;
    QRadioButton *m_plainText;
    QCheckBox *m_attachments;
};
