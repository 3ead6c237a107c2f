// The writer thread of a handle: takes each block from the control thread, writes it to the
// current report file (when the library writes files) and passes it to the data callback.

#include "qvusb/qvusb_lib/DeviceContext.h"

void QVPlusContext::WriterThreadMain() {
    while (true) {
        m_dataReady.acquire();
        if (m_writerExit.load()) return;
        HandOver& h = m_handOver;
        h.failed = false;
        if (h.file != nullptr) {
            h.result = std::fwrite(h.half, h.elementSize, h.count, h.file);
            h.failed = h.result != h.count;
        } else {
            h.result = h.elementSize;
        }
        if (m_params.dataCallback != nullptr) {
            QVPlusStatus status = m_status.Snapshot();
            m_params.dataCallback(h.half, h.elementSize, h.count, h.endFlag, &status);
        }
        if (h.flush && h.file != nullptr && std::fflush(h.file) != 0) h.failed = true;
        m_writerDone.release();
    }
}
