#pragma once
// The about box (dialog 100): the application icon, "vantaPeak Version 1.0"
// and an OK button that closes it. Laid out in dialog units of its font.
#include <QDialog>

class QLabel;
class QPushButton;

class CAboutDlg : public QDialog {
    Q_OBJECT

public:
    explicit CAboutDlg(QWidget* parent = nullptr);

    QLabel* IconLabel() const { return m_icon; }
    QLabel* VersionLabel() const { return m_version; }
    QPushButton* OkButton() const { return m_ok; }

private:
    QLabel* m_icon;
    QLabel* m_version;
    QPushButton* m_ok;
};
