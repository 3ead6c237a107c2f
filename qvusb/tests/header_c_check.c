/* The caller's header must compile as C too: its records and size checks are the contract. */
#include "qvusb/qvusb_api.h"

size_t qvusb_c_header_start_record_size(void) {
    return sizeof(QVPlusStartParams);
}
