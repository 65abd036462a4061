#include "editordialogs.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

QDialogButtonBox *addOkCancel(QDialog *dialog, QVBoxLayout *layout)
{
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    layout->addWidget(buttons);
    return buttons;
}

} // namespace

InsertTableDialog::InsertTableDialog(QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(tr("Insert Table"));
    auto *layout = new QVBoxLayout(this);
    auto *form = new QFormLayout;
    m_rows = new QSpinBox(this);
    m_rows->setRange(1, 100);
    m_rows->setValue(3);
    m_columns = new QSpinBox(this);
    m_columns->setRange(1, 20);
    m_columns->setValue(3);
    m_header = new QCheckBox(tr("Include header row"), this);
    m_header->setChecked(true);
    form->addRow(tr("Rows:"), m_rows);
    form->addRow(tr("Columns:"), m_columns);
    form->addRow(m_header);
    layout->addLayout(form);
    addOkCancel(this, layout);
}

int InsertTableDialog::rows() const
{
    return m_rows->value();
}

int InsertTableDialog::columns() const
{
    return m_columns->value();
}

bool InsertTableDialog::hasHeader() const
{
    return m_header->isChecked();
}

LinkDialog::LinkDialog(const QString &title, const QString &text, const QString &url, QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(title);
    auto *layout = new QVBoxLayout(this);
    auto *form = new QFormLayout;
    m_text = new QLineEdit(text, this);
    m_url = new QLineEdit(url, this);
    m_url->setMinimumWidth(320);
    form->addRow(tr("Text:"), m_text);
    form->addRow(tr("URL:"), m_url);
    layout->addLayout(form);
    addOkCancel(this, layout);
    // The URL is what usually needs typing; the text is often the selection.
    m_url->setFocus();
    m_url->selectAll();
}

QString LinkDialog::text() const
{
    return m_text->text();
}

QString LinkDialog::url() const
{
    return m_url->text().trimmed();
}
