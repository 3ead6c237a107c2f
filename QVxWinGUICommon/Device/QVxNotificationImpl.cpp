#include "QVxWinGUICommon/Device/QVxNotificationImpl.h"

#include <QApplication>
#include <QMessageBox>

void QVxNotificationImpl::OnNotifyErrorMessage(const std::string& text) {
    // A message box belongs to the GUI thread; a worker must post its message there.
    QMessageBox box(QMessageBox::NoIcon, QApplication::applicationDisplayName(), QString::fromStdString(text),
                    QMessageBox::Ok, QApplication::activeWindow());
    box.setObjectName("QVxNotificationBox");
    box.exec();
}
