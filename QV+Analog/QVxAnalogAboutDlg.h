#pragma once
// The About dialog: the program's product name (5013) and legal notice (5014), and
// the device library's version (5015). GUI thread only.

#include <QDialog>

#include <cstdint>

class QVxAnalogAboutDlg : public QDialog {
    Q_OBJECT

public:
    static constexpr const char* kProductName = "QV+Analog";
    static constexpr const char* kLegalNotice = "Copyright (C) 2026 OrvalenData. All rights reserved.";
    // Control ids of the three lines (object names "id<N>").
    static constexpr int kProductLineId = 5013;
    static constexpr int kLegalLineId = 5014;
    static constexpr int kLibraryVersionLineId = 5015;

    explicit QVxAnalogAboutDlg(QWidget* parent = nullptr);

    // "qvusb %d.%d.%d" from the version word: major bits 24-31, minor 16-23,
    // build 8-15, then " a" when bits 0-7 are 10 and " b" when they are 11.
    static QString FormatLibraryVersion(std::uint32_t version);
    // The device library's version word as the library reports it.
    static std::uint32_t QueryLibraryVersion();

protected:
    void paintEvent(QPaintEvent* event) override;
};
