#pragma once
// Modal selection of one attached unit: a list of the units the device manager's
// listing finds for its capture mode, a refresh button, OK (enabled only while an
// item is selected) and Close. The window rectangle is remembered for the process,
// so later dialogs open where the last one was left. GUI thread only.

#include "QVxWinCommon/DataClasses/QVxDeviceManager.h"
#include "QVxWinGUICommon/QVxWinGUICommonExport.h"

#include <QDialog>
#include <QRect>

#include <vector>

class QPushButton;
class QTreeWidget;

class QVXWINGUICOMMON_EXPORT QVxDevSelDlg : public QDialog {
    Q_OBJECT

public:
    // Control ids: the list and refresh button; OK and Close are 1 and 2.
    static constexpr int kListId = 1000;
    static constexpr int kRefreshId = 1001;
    static constexpr int kOkId = 1;
    static constexpr int kCloseId = 2;

    // `manager` is not owned and may be null (the list stays empty).
    QVxDevSelDlg(QVxDeviceManager* manager, const QString& caption, QWidget* parent = nullptr);

    // The chosen unit after OK; index -1 until one was chosen.
    QVxQVUsbDeviceId GetSelectedDevID() const { return m_selected; }
    const std::vector<QVxQVUsbDeviceId>& GetDeviceIds() const { return m_ids; }

    // Refills the list from the device manager (the refresh button does the same).
    void FillList();

    // The rectangle later dialogs of the process open at; empty until one was moved.
    static QRect DefaultPosition() { return m_rectDefaultPosition; }
    static void ResetDefaultPosition() { m_rectDefaultPosition = QRect(); }

protected:
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void OnOk();
    void UpdateOkButton();
    void LayoutControls();
    void RememberGeometry();

    static QRect m_rectDefaultPosition;

    QVxDeviceManager* m_manager;
    std::vector<QVxQVUsbDeviceId> m_ids;
    QVxQVUsbDeviceId m_selected;
    QTreeWidget* m_list;
    QPushButton* m_refresh;
    QPushButton* m_ok;
    QPushButton* m_close;
    bool m_shown = false;
};
