/* qvusb: access to the NAVO+ acquisition unit.
 *
 * C interface of libqvusb.so. Every function may be called from any thread. The library never
 * throws across this interface: functions return 1/0 or a handle, and run-time errors appear in
 * the status block (QVPlusStatus::errorCode), which callers poll.
 *
 * Records assume 64-bit pointers; sizes and field offsets are checked at compile time below.
 */
#ifndef QVUSB_QVUSB_API_H
#define QVUSB_QVUSB_API_H

#include <stddef.h>
#include <stdint.h>
#include <wchar.h>

#if defined(_WIN32)
#if defined(QVUSB_BUILDING_LIBRARY)
#define QVPLUS_API __declspec(dllexport)
#else
#define QVPLUS_API __declspec(dllimport)
#endif
#else
#define QVPLUS_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Error codes published in QVPlusStatus::errorCode. */
enum {
    QVPLUS_ERR_INVALID_PARAMETER = 0xEE01, /* reserved for callers */
    QVPLUS_ERR_OPEN = 0xEE02,              /* the unit could not be opened */
    QVPLUS_ERR_STATUS_READ = 0xEE03,       /* a status or data read failed, or the start failed */
    QVPLUS_ERR_FILE_WRITE = 0xEE04,        /* a report data file could not be written */
    QVPLUS_ERR_FPGA_DOWNLOAD = 0xEE05,     /* the FPGA bit-stream download failed */
    QVPLUS_ERR_UNKNOWN = 0xEE06,           /* reserved for callers */
    QVPLUS_ERR_CANUSB = 0xEE07,            /* CAN capture only (not built) */
    QVPLUS_ERR_OTHER_MODES = 0xEE08        /* capture modes 1 and 4 (not built) */
};

/* Capture modes of QVPlusCreateParams::captureMode. Only the analog mode is built. */
enum { QVPLUS_CAPTURE_ANALOG = 3 };

/* Stop reasons of QVPlus_Stop. */
enum { QVPLUS_STOP_DRAIN = 1, QVPLUS_STOP_ABORT = 2 };

/* Status block, 80 bytes; callers only ever see a copy. */
typedef struct QVPlusStatus {
    uint32_t canActive; /* 0: capture mode 0 only */
    uint32_t unitReady; /* 1 once the FPGA is configured and the unit answered */
    uint32_t running;   /* 1 from QVPlus_Start until the acquisition has ended */
    uint32_t reserved0;
    int64_t startSeconds;     /* UTC seconds since 1970 of the start command */
    int32_t startNanoseconds; /* nanosecond part of the same instant */
    uint32_t reserved1;
    uint32_t elapsedMs;      /* milliseconds since the acquisition loop started */
    uint32_t fileNumber;     /* number of the next report data file written by the library */
    uint64_t bytesAcquired;  /* bytes read from the unit in this acquisition */
    uint32_t unitBufferSize; /* size of the unit's sample memory, 0x10000000 bytes */
    uint32_t unitBufferFill; /* bytes captured by the unit and not yet read */
    uint32_t unitStatusWord; /* low byte: latest; upper bytes: OR over the handle's life */
    uint32_t errorCode;      /* 0 or QVPLUS_ERR_* */
    uint8_t reserved2[16];
} QVPlusStatus;

/* Called on the library's writer thread for every block read from the unit (elementSize 1,
 * count = bytes, endFlag 0) and once on the control thread when the acquisition ends (count 0,
 * endFlag 1). data is valid only during the call. */
typedef void (*QVPlusDataCallback)(uint8_t* data, uint32_t elementSize, uint32_t count, uint32_t endFlag,
                                   QVPlusStatus* status);

/* level: 0 debug, 1 info, 2 warning, 3 error, 4 critical. Called on any library thread. */
typedef void (*QVPlusLogCallback)(const char* sourceModule, uint32_t line, uint32_t level,
                                  const char* message);

typedef struct QVPlusContext* QVPlusHandle;

/* Record passed to QVPlus_Create. */
typedef struct QVPlusCreateParams {
    const char* bitStreamPath; /* FPGA bit-stream file ("dload/Tessel.bin" beside the program); may be null */
    wchar_t deviceId[20];      /* USB serial number of the unit, NUL-terminated */
    uint32_t captureMode;      /* QVPLUS_CAPTURE_ANALOG; modes 0, 1 and 4 are refused */
} QVPlusCreateParams;

/* Trigger flag bits of QVPlusStartParams::triggerFlags. */
enum {
    QVPLUS_TRG_CH1_USED = 0x01,
    QVPLUS_TRG_CH2_USED = 0x02,
    QVPLUS_TRG_CH3_USED = 0x04,
    QVPLUS_TRG_CH4_ENABLED = 0x08,
    QVPLUS_TRG_CH1_START = 0x10,
    QVPLUS_TRG_CH2_START = 0x20,
    QVPLUS_TRG_CH1_STOP = 0x40,
    QVPLUS_TRG_CH2_STOP = 0x80
};

/* Start record, 520 bytes, copied whole by QVPlus_Start. */
typedef struct QVPlusStartParams {
    uint32_t kind; /* 1 for the analog application */
    uint8_t reserved0[18];
    uint16_t optionFlags;
    uint16_t optionWord;
    uint8_t reservedCan[366];
    uint8_t triggerFlags;  /* QVPLUS_TRG_* */
    uint8_t ch1StartSlope; /* 1 rising, 0 falling */
    uint8_t ch1StopSlope;
    uint8_t ch2StartSlope;
    uint8_t ch2StopSlope;
    uint8_t ch3Slope;
    uint8_t startCondition; /* 0 OR, 1 AND */
    uint8_t stopCondition;
    uint8_t samplingCode;  /* 0: 102,400, 1: 1,048,576, 2: 10,485,760 records/s */
    uint8_t rangeCodes[4]; /* CH1..CH4: 0, 6, 14, 20, 26 or 32 */
    uint8_t reserved1;
    uint16_t threshold1; /* 0..4095 */
    uint16_t threshold2;
    uint16_t threshold3;
    uint16_t reserved2;
    uint8_t reserved3[58];
    int64_t splitSize;   /* bytes per report data file; rounded down to a multiple of 512, at least 512 */
    int64_t stopSize;    /* bytes in total; 0 = no limit */
    uint32_t stopTimeMs; /* 0 = no limit */
    uint8_t reserved4[4];
    const char* filePrefix;          /* null means "AS" */
    const char* outputFolder;        /* null: no files, data only to the callback */
    QVPlusDataCallback dataCallback; /* may be null */
} QVPlusStartParams;

QVPLUS_API uint8_t QVPlus_DeviceCount(void);
QVPLUS_API int32_t QVPlus_GetDeviceID(uint8_t index, wchar_t* id /* [20] */, uint64_t* length);
QVPLUS_API QVPlusHandle QVPlus_Create(const QVPlusCreateParams* params);
QVPLUS_API int32_t QVPlus_Start(QVPlusHandle handle, const QVPlusStartParams* params);
QVPLUS_API int32_t QVPlus_Stop(QVPlusHandle handle, uint32_t reason);
QVPLUS_API void QVPlus_GetStatus(QVPlusHandle handle, QVPlusStatus* status);
QVPLUS_API void QVPlus_ErrClear(QVPlusHandle handle);
QVPLUS_API void QVPlus_Delete(QVPlusHandle handle);
/* context is accepted for callers that pass one and ignored. */
QVPLUS_API void QVPlus_SetLogCallback(QVPlusLogCallback callback, void* context);
/* Returns 1 when the firmware number was read from the unit, else 0 (firmware left unchanged). */
QVPLUS_API int32_t QVPlus_Version(const wchar_t* deviceId, uint32_t* library, uint16_t* fpga,
                                  uint16_t* firmware);

#ifdef __cplusplus
}
#define QVPLUS_STATIC_ASSERT(c, m) static_assert(c, m)
#else
#define QVPLUS_STATIC_ASSERT(c, m) _Static_assert(c, m)
#endif

QVPLUS_STATIC_ASSERT(sizeof(void*) == 8, "records assume 64-bit pointers");
QVPLUS_STATIC_ASSERT(sizeof(QVPlusStatus) == 80, "status block is 80 bytes");
QVPLUS_STATIC_ASSERT(offsetof(QVPlusStatus, unitReady) == 4, "layout");
QVPLUS_STATIC_ASSERT(offsetof(QVPlusStatus, running) == 8, "layout");
QVPLUS_STATIC_ASSERT(offsetof(QVPlusStatus, startSeconds) == 16, "layout");
QVPLUS_STATIC_ASSERT(offsetof(QVPlusStatus, startNanoseconds) == 24, "layout");
QVPLUS_STATIC_ASSERT(offsetof(QVPlusStatus, elapsedMs) == 32, "layout");
QVPLUS_STATIC_ASSERT(offsetof(QVPlusStatus, fileNumber) == 36, "layout");
QVPLUS_STATIC_ASSERT(offsetof(QVPlusStatus, bytesAcquired) == 40, "layout");
QVPLUS_STATIC_ASSERT(offsetof(QVPlusStatus, unitBufferSize) == 48, "layout");
QVPLUS_STATIC_ASSERT(offsetof(QVPlusStatus, unitBufferFill) == 52, "layout");
QVPLUS_STATIC_ASSERT(offsetof(QVPlusStatus, unitStatusWord) == 56, "layout");
QVPLUS_STATIC_ASSERT(offsetof(QVPlusStatus, errorCode) == 60, "layout");
QVPLUS_STATIC_ASSERT(offsetof(QVPlusStatus, reserved2) == 64, "layout");

QVPLUS_STATIC_ASSERT(sizeof(QVPlusCreateParams) == 96, "create record");
QVPLUS_STATIC_ASSERT(offsetof(QVPlusCreateParams, deviceId) == 8, "layout");
QVPLUS_STATIC_ASSERT(offsetof(QVPlusCreateParams, captureMode) == 8 + 20 * sizeof(wchar_t), "layout");

QVPLUS_STATIC_ASSERT(sizeof(QVPlusStartParams) == 520, "start record is 520 bytes");
QVPLUS_STATIC_ASSERT(offsetof(QVPlusStartParams, reserved0) == 4, "layout");
QVPLUS_STATIC_ASSERT(offsetof(QVPlusStartParams, optionFlags) == 22, "layout");
QVPLUS_STATIC_ASSERT(offsetof(QVPlusStartParams, optionWord) == 24, "layout");
QVPLUS_STATIC_ASSERT(offsetof(QVPlusStartParams, reservedCan) == 26, "layout");
QVPLUS_STATIC_ASSERT(offsetof(QVPlusStartParams, triggerFlags) == 392, "layout");
QVPLUS_STATIC_ASSERT(offsetof(QVPlusStartParams, ch1StartSlope) == 393, "layout");
QVPLUS_STATIC_ASSERT(offsetof(QVPlusStartParams, ch1StopSlope) == 394, "layout");
QVPLUS_STATIC_ASSERT(offsetof(QVPlusStartParams, ch2StartSlope) == 395, "layout");
QVPLUS_STATIC_ASSERT(offsetof(QVPlusStartParams, ch2StopSlope) == 396, "layout");
QVPLUS_STATIC_ASSERT(offsetof(QVPlusStartParams, ch3Slope) == 397, "layout");
QVPLUS_STATIC_ASSERT(offsetof(QVPlusStartParams, startCondition) == 398, "layout");
QVPLUS_STATIC_ASSERT(offsetof(QVPlusStartParams, stopCondition) == 399, "layout");
QVPLUS_STATIC_ASSERT(offsetof(QVPlusStartParams, samplingCode) == 400, "layout");
QVPLUS_STATIC_ASSERT(offsetof(QVPlusStartParams, rangeCodes) == 401, "layout");
QVPLUS_STATIC_ASSERT(offsetof(QVPlusStartParams, reserved1) == 405, "layout");
QVPLUS_STATIC_ASSERT(offsetof(QVPlusStartParams, threshold1) == 406, "layout");
QVPLUS_STATIC_ASSERT(offsetof(QVPlusStartParams, threshold2) == 408, "layout");
QVPLUS_STATIC_ASSERT(offsetof(QVPlusStartParams, threshold3) == 410, "layout");
QVPLUS_STATIC_ASSERT(offsetof(QVPlusStartParams, reserved2) == 412, "layout");
QVPLUS_STATIC_ASSERT(offsetof(QVPlusStartParams, reserved3) == 414, "layout");
QVPLUS_STATIC_ASSERT(offsetof(QVPlusStartParams, splitSize) == 472, "layout");
QVPLUS_STATIC_ASSERT(offsetof(QVPlusStartParams, stopSize) == 480, "layout");
QVPLUS_STATIC_ASSERT(offsetof(QVPlusStartParams, stopTimeMs) == 488, "layout");
QVPLUS_STATIC_ASSERT(offsetof(QVPlusStartParams, reserved4) == 492, "layout");
QVPLUS_STATIC_ASSERT(offsetof(QVPlusStartParams, filePrefix) == 496, "layout");
QVPLUS_STATIC_ASSERT(offsetof(QVPlusStartParams, outputFolder) == 504, "layout");
QVPLUS_STATIC_ASSERT(offsetof(QVPlusStartParams, dataCallback) == 512, "layout");

#undef QVPLUS_STATIC_ASSERT

#endif /* QVUSB_QVUSB_API_H */
