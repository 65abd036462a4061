#pragma once

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QSpinBox;

// Collects the size of a new table; the editor inserts it.
class InsertTableDialog : public QDialog
{
    Q_OBJECT

public:
    explicit InsertTableDialog(QWidget *parent = nullptr);

    int rows() const;
    int columns() const;
    bool hasHeader() const;

private:
    QSpinBox *m_rows = nullptr;
    QSpinBox *m_columns = nullptr;
    QCheckBox *m_header = nullptr;
};

// Collects a link's text and URL for inserting or editing a link.
class LinkDialog : public QDialog
{
    Q_OBJECT

public:
    LinkDialog(const QString &title, const QString &text, const QString &url, QWidget *parent = nullptr);

    QString text() const;
    QString url() const;
    QLineEdit *textEdit() const { return m_text; }
    QLineEdit *urlEdit() const { return m_url; }

private:
    QLineEdit *m_text = nullptr;
    QLineEdit *m_url = nullptr;
};
