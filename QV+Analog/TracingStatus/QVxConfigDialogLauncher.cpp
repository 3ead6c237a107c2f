#include "QV+Analog/TracingStatus/QVxConfigDialogLauncher.h"

#include "QV+Analog/ConfigAnalog/CQVxConfigAnalogDlg.h"

#include <QDialog>

bool QVxRunConfigAnalogDialog(QWidget* parent, qvx::AnalogSettings* settings, bool readOnly) {
    CQVxConfigAnalogDlg dialog(parent, settings, readOnly);
    return dialog.exec() == QDialog::Accepted;
}
