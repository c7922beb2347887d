#include "view/MessageBox.h"

#include <QApplication>
#include <QMessageBox>

#include <utility>

namespace {

MessageBoxHook& Hook()
{
    static MessageBoxHook hook;
    return hook;
}

}  // namespace

void SetMessageBoxHook(MessageBoxHook hook)
{
    Hook() = std::move(hook);
}

void ShowMessageBox(const QString& text, QWidget* parent)
{
    if (Hook()) {
        Hook()(text);
        return;
    }
    QMessageBox box(QMessageBox::Warning, QStringLiteral("vantaPeak"), text, QMessageBox::Ok,
                    parent != nullptr ? parent : QApplication::activeWindow());
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}
