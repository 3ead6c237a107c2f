#pragma once
// The main window's device selector: a drop-down button showing the selected
// unit's icon, id and state over a background coloured by the state (tracing,
// connected, otherwise), and a popup list to connect and disconnect.
// GUI thread only.

#include "QVxCore/Presenters/Signal.h"
#include "QVxWinCommon/IQVxDeviceSelectorModel.h"
#include "QVxWinGUICommon/QVxWinGUICommonExport.h"

#include <QAbstractButton>
#include <QDialog>
#include <QListWidget>

#include <memory>

class QPainter;
class QPushButton;

// The unit list of the popup: 40-pixel rows, each a framed rectangle with the unit
// icon 8 pixels in from the left and the id 16 pixels right of it.
class QVXWINGUICOMMON_EXPORT CQVxFlexListBox : public QListWidget {
    Q_OBJECT

public:
    static constexpr int kItemHeight = 40;
    explicit CQVxFlexListBox(QWidget* parent = nullptr);
};

class QVXWINGUICOMMON_EXPORT CQVxAnalogDeviceSelectorPopupDlg : public QDialog {
    Q_OBJECT

public:
    explicit CQVxAnalogDeviceSelectorPopupDlg(IQVxDeviceSelectorModel* model, QWidget* parent = nullptr);
    ~CQVxAnalogDeviceSelectorPopupDlg() override;

    // Refills the list and enables the buttons from the model's state.
    void UpdateControls();

private:
    void OnConnect();
    void OnDisconnect();

    IQVxDeviceSelectorModel* m_model;
    std::shared_ptr<qvx::SignalConnection> m_changed;
    CQVxFlexListBox* m_list;
    QPushButton* m_connect;
    QPushButton* m_disconnect;
    bool m_updating = false;
};

class QVXWINGUICOMMON_EXPORT CQVxAnalogDeviceSelector : public QAbstractButton {
    Q_OBJECT

public:
    explicit CQVxAnalogDeviceSelector(QWidget* parent = nullptr);
    ~CQVxAnalogDeviceSelector() override;

    // Not owned; null detaches. Redraws on the model's changed signal.
    void Setup(IQVxDeviceSelectorModel* model);
    // The selected unit's id and state text ("" without a selection).
    QString DeviceIdText() const;
    QString StatusText() const;
    QColor BackgroundColor() const;
    void DrawIdAndStatus(QPainter& p, const QRect& textRect, const QString& id, const QString& status);
    // The id and state text's colour: dark, as every state background is light.
    static QColor TextColor() { return QColor(0x1E, 0x1E, 0x1E); }
    // The popup, created on the first click (null before).
    CQVxAnalogDeviceSelectorPopupDlg* Popup() const { return m_popup; }
    QSize sizeHint() const override { return QSize(220, 40); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void ShowPopup();

    IQVxDeviceSelectorModel* m_model = nullptr;
    std::shared_ptr<qvx::SignalConnection> m_changed;
    CQVxAnalogDeviceSelectorPopupDlg* m_popup = nullptr;
};

// The unit icon both draw: a small box with a connector, 24 x 24 pixels.
QVXWINGUICOMMON_EXPORT QPixmap QVxDeviceIcon();
