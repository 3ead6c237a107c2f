#pragma once
// Report sections of the window's analyses, added before the display-trigger list when the
// pane holds a result: the spectrum of its channel (figures, the largest peaks and the
// plot as the pane shows it) and the cycles (verdict, limits and the statistics of every
// parameter). GUI thread, as the report.

#include "QV+Analog/Pictures/QVxReport.h"
#include "QV+AnalogCore/Analysis/QVxAnalogCycleJobs.h"
#include "QV+AnalogCore/Analysis/ReportSpectrum.h"

#include <QPixmap>

#include <memory>

class QVxReportSpectrumSection : public IQVxReportSection {
public:
    // `plot`: the pane's plot as painted (may be null: no picture).
    QVxReportSpectrumSection(std::shared_ptr<const qvx::analog::SpectrumResult> result, QPixmap plot)
        : m_result(std::move(result)), m_plot(std::move(plot)) {}
    void Write(QVxReportDocument& document, const QVxReportContent& content) const override;

private:
    std::shared_ptr<const qvx::analog::SpectrumResult> m_result;
    QPixmap m_plot;
};

class QVxReportCycleSection : public IQVxReportSection {
public:
    explicit QVxReportCycleSection(std::shared_ptr<const qvx::analog::QVxAnalogCycleJobs::Result> result)
        : m_result(std::move(result)) {}
    void Write(QVxReportDocument& document, const QVxReportContent& content) const override;

private:
    std::shared_ptr<const qvx::analog::QVxAnalogCycleJobs::Result> m_result;
};
