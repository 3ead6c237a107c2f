#pragma once
// Session settings files as earlier program versions wrote them, one per class
// version of the settings object, and the exact text of a default file.

namespace qvx::testing {

// Class version 1: no data-size/elapsed-time stop, no display trigger, no rotation;
// tracks of version 1 (name and colours only).
inline constexpr const char* kSettingsVersion1 = R"({
    "value0": {
        "cereal_class_version": 1,
        "channelVoltages": [0, 1, 4, 5],
        "samplingFrequency": 2,
        "trigger1ChStartMode": 1,
        "trigger1ChStopMode": 2,
        "trigger1ChThreshold": 1500,
        "trigger2ChStartMode": 0,
        "trigger2ChStopMode": 0,
        "trigger2ChThreshold": 2047,
        "triggerStartCondition": 1,
        "triggerStopCondition": 0,
        "trigger3ChMode": 0,
        "trigger3ChThreshold": 2047,
        "trigger4ChEnabled": true,
        "visualSettings": {
            "cereal_class_version": 1,
            "tracks": [
                {
                    "cereal_class_version": 1,
                    "name": "A",
                    "backgroundColor": "#00FFFFFF",
                    "lineColor": "#F00"
                },
                {
                    "name": "B",
                    "backgroundColor": "#00FFFFFF",
                    "lineColor": "#ff0000"
                }
            ],
            "markers": [
                {
                    "cereal_class_version": 1,
                    "enabled": true,
                    "time": 123456789012,
                    "color": "#FF000000"
                },
                {
                    "enabled": false,
                    "time": 0,
                    "color": "red"
                }
            ]
        }
    }
})";

// Class version 3: display trigger present, rotation absent; tracks of version 4
// without verticalScaling; the second track carries no class version.
inline constexpr const char* kSettingsVersion3 = R"({
    "value0": {
        "cereal_class_version": 3,
        "channelVoltages": [3, 3, 3, 3],
        "samplingFrequency": 0,
        "trigger1ChStartMode": 0, "trigger1ChStopMode": 0, "trigger1ChThreshold": 2047,
        "trigger2ChStartMode": 0, "trigger2ChStopMode": 0, "trigger2ChThreshold": 2047,
        "triggerStartCondition": 0, "triggerStopCondition": 0,
        "trigger3ChMode": 0, "trigger3ChThreshold": 2047, "trigger4ChEnabled": false,
        "splitDataSizeMB": 250, "enableStopDataSize": true, "stopDataSizeMB": 64,
        "enableStopElapsedTime": true, "stopElapsedTimeMS": 5000,
        "visualSettings": {
            "cereal_class_version": 3,
            "tracks": [
                {"cereal_class_version": 4, "name": "CH1", "backgroundColor": "#00FFFFFF",
                 "lineColor": "#FFEF5350", "probeAttenuationRatio": 0, "enabled": false,
                 "verticalResolutionOffset": 0.25},
                {"name": "CH2", "backgroundColor": "#00FFFFFF", "lineColor": "#FF66BB6A",
                 "probeAttenuationRatio": 1, "enabled": true, "verticalResolutionOffset": -0.5},
                {"name": "CH3", "backgroundColor": "#00FFFFFF", "lineColor": "#FF42A5F5",
                 "probeAttenuationRatio": 1, "enabled": true, "verticalResolutionOffset": 0.0},
                {"name": "CH4", "backgroundColor": "#00FFFFFF", "lineColor": "#FFFFEE58",
                 "probeAttenuationRatio": 1, "enabled": true, "verticalResolutionOffset": 0.0}
            ],
            "markers": [
                {"cereal_class_version": 1, "enabled": false, "time": 0, "color": "#00000000"},
                {"enabled": false, "time": 0, "color": "#00000000"}
            ],
            "timeUnit": 2,
            "timeScale": 10000
        },
        "displayTriggerMode": 2,
        "displayTriggerSettings": [
            {"cereal_class_version": 1, "voltageLevel": -250, "voltageLevelDisplayUnit": 0,
             "sensitivityCount": 3, "slope": 2, "edgeWidthTime": 20000, "edgeWidthTimeDisplayUnit": 2,
             "widthEdgeComparison": 1},
            {"voltageLevel": 5000, "voltageLevelDisplayUnit": 0, "sensitivityCount": 1, "slope": 0,
             "edgeWidthTime": 1000000, "edgeWidthTimeDisplayUnit": 1, "widthEdgeComparison": 0},
            {"voltageLevel": 5000, "voltageLevelDisplayUnit": 0, "sensitivityCount": 1, "slope": 0,
             "edgeWidthTime": 1000000, "edgeWidthTimeDisplayUnit": 1, "widthEdgeComparison": 0},
            {"voltageLevel": 5000, "voltageLevelDisplayUnit": 0, "sensitivityCount": 1, "slope": 0,
             "edgeWidthTime": 1000000, "edgeWidthTimeDisplayUnit": 1, "widthEdgeComparison": 0}
        ],
        "displayTriggerSourceChannel": 1,
        "displayTriggerPosition": 0.25
    }
})";

// Class version 4: everything but the vertical scaling of the tracks (version 5).
inline constexpr const char* kSettingsVersion4 = R"({
    "value0": {
        "cereal_class_version": 4,
        "channelVoltages": [2, 2, 2, 2],
        "samplingFrequency": 1,
        "trigger1ChStartMode": 0, "trigger1ChStopMode": 0, "trigger1ChThreshold": 2047,
        "trigger2ChStartMode": 0, "trigger2ChStopMode": 0, "trigger2ChThreshold": 2047,
        "triggerStartCondition": 0, "triggerStopCondition": 0,
        "trigger3ChMode": 0, "trigger3ChThreshold": 2047, "trigger4ChEnabled": false,
        "splitDataSizeMB": 500, "enableStopDataSize": false, "stopDataSizeMB": 100,
        "enableStopElapsedTime": false, "stopElapsedTimeMS": 600000,
        "visualSettings": {
            "cereal_class_version": 4,
            "tracks": [
                {"cereal_class_version": 4, "name": "Channel 1", "backgroundColor": "#00FFFFFF",
                 "lineColor": "#FFEF5350", "probeAttenuationRatio": 1, "enabled": true,
                 "verticalResolutionOffset": 0.0}
            ],
            "markers": [
                {"cereal_class_version": 1, "enabled": false, "time": 0, "color": "#00000000"},
                {"enabled": true, "time": -5, "color": "#FF0000FF"}
            ],
            "timeUnit": 1, "timeScale": 1000000, "labelAreaWidth": 180
        },
        "displayTriggerMode": 0,
        "displayTriggerSettings": [
            {"cereal_class_version": 1, "voltageLevel": 5000, "voltageLevelDisplayUnit": 0,
             "sensitivityCount": 1, "slope": 0, "edgeWidthTime": 1000000, "edgeWidthTimeDisplayUnit": 1,
             "widthEdgeComparison": 0},
            {"voltageLevel": 5000, "voltageLevelDisplayUnit": 0, "sensitivityCount": 1, "slope": 0,
             "edgeWidthTime": 1000000, "edgeWidthTimeDisplayUnit": 1, "widthEdgeComparison": 0},
            {"voltageLevel": 5000, "voltageLevelDisplayUnit": 0, "sensitivityCount": 1, "slope": 0,
             "edgeWidthTime": 1000000, "edgeWidthTimeDisplayUnit": 1, "widthEdgeComparison": 0},
            {"voltageLevel": 5000, "voltageLevelDisplayUnit": 0, "sensitivityCount": 1, "slope": 0,
             "edgeWidthTime": 1000000, "edgeWidthTimeDisplayUnit": 1, "widthEdgeComparison": 0}
        ],
        "displayTriggerSourceChannel": 0,
        "displayTriggerPosition": 0.5,
        "enableReportFileRotation": false,
        "reportFileRotationTimeS": 600
    }
})";

// A default-constructed settings object as saved: four-space indentation, class
// versions only at the first object of each class, no byte-order mark, no final
// line break.
inline constexpr const char* kDefaultSettingsFile = R"({
    "value0": {
        "cereal_class_version": 5,
        "channelVoltages": [
            2,
            2,
            2,
            2
        ],
        "samplingFrequency": 1,
        "trigger1ChStartMode": 0,
        "trigger1ChStopMode": 0,
        "trigger1ChThreshold": 2047,
        "trigger2ChStartMode": 0,
        "trigger2ChStopMode": 0,
        "trigger2ChThreshold": 2047,
        "triggerStartCondition": 0,
        "triggerStopCondition": 0,
        "trigger3ChMode": 0,
        "trigger3ChThreshold": 2047,
        "trigger4ChEnabled": false,
        "splitDataSizeMB": 500,
        "enableStopDataSize": false,
        "stopDataSizeMB": 100,
        "enableStopElapsedTime": false,
        "stopElapsedTimeMS": 600000,
        "visualSettings": {
            "cereal_class_version": 4,
            "tracks": [
                {
                    "cereal_class_version": 5,
                    "name": "Channel 1",
                    "backgroundColor": "#00FFFFFF",
                    "lineColor": "#FFEF5350",
                    "probeAttenuationRatio": 1,
                    "enabled": true,
                    "verticalResolutionOffset": 0.0,
                    "verticalScaling": 1.0
                },
                {
                    "name": "Channel 2",
                    "backgroundColor": "#00FFFFFF",
                    "lineColor": "#FF66BB6A",
                    "probeAttenuationRatio": 1,
                    "enabled": true,
                    "verticalResolutionOffset": 0.0,
                    "verticalScaling": 1.0
                },
                {
                    "name": "Channel 3",
                    "backgroundColor": "#00FFFFFF",
                    "lineColor": "#FF42A5F5",
                    "probeAttenuationRatio": 1,
                    "enabled": true,
                    "verticalResolutionOffset": 0.0,
                    "verticalScaling": 1.0
                },
                {
                    "name": "Channel 4",
                    "backgroundColor": "#00FFFFFF",
                    "lineColor": "#FFFFEE58",
                    "probeAttenuationRatio": 1,
                    "enabled": true,
                    "verticalResolutionOffset": 0.0,
                    "verticalScaling": 1.0
                }
            ],
            "markers": [
                {
                    "cereal_class_version": 1,
                    "enabled": false,
                    "time": 0,
                    "color": "#00000000"
                },
                {
                    "enabled": false,
                    "time": 0,
                    "color": "#00000000"
                }
            ],
            "timeUnit": 1,
            "timeScale": 1000000,
            "labelAreaWidth": 250
        },
        "displayTriggerMode": 0,
        "displayTriggerSettings": [
            {
                "cereal_class_version": 1,
                "voltageLevel": 5000,
                "voltageLevelDisplayUnit": 0,
                "sensitivityCount": 1,
                "slope": 0,
                "edgeWidthTime": 1000000,
                "edgeWidthTimeDisplayUnit": 1,
                "widthEdgeComparison": 0
            },
            {
                "voltageLevel": 5000,
                "voltageLevelDisplayUnit": 0,
                "sensitivityCount": 1,
                "slope": 0,
                "edgeWidthTime": 1000000,
                "edgeWidthTimeDisplayUnit": 1,
                "widthEdgeComparison": 0
            },
            {
                "voltageLevel": 5000,
                "voltageLevelDisplayUnit": 0,
                "sensitivityCount": 1,
                "slope": 0,
                "edgeWidthTime": 1000000,
                "edgeWidthTimeDisplayUnit": 1,
                "widthEdgeComparison": 0
            },
            {
                "voltageLevel": 5000,
                "voltageLevelDisplayUnit": 0,
                "sensitivityCount": 1,
                "slope": 0,
                "edgeWidthTime": 1000000,
                "edgeWidthTimeDisplayUnit": 1,
                "widthEdgeComparison": 0
            }
        ],
        "displayTriggerSourceChannel": 0,
        "displayTriggerPosition": 0.5,
        "enableReportFileRotation": true,
        "reportFileRotationTimeS": 1200
    }
})";

}  // namespace qvx::testing
