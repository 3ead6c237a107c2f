"""xarray backend "qvanalog": xarray.open_dataset("S.qvxa", engine="qvanalog", chunks={}).

Registered through the entry point group "xarray.backends" of the installed package's
metadata (qvanalog-*.dist-info/entry_points.txt). It gives the Dataset of qvanalog.open:
`mask_and_scale` (False with decode_cf=False) chooses volts or raw codes; `time` is
always int64 ns since the start (decode_times has nothing to decode).
"""

import os

from xarray.backends import BackendEntrypoint

from . import _dataset, _report, _session


class QvanalogBackendEntrypoint(BackendEntrypoint):
    description = "QV+Analog recordings (session files .qvxa and report folders) as lazy Dask arrays"
    open_dataset_parameters = ("filename_or_obj", "drop_variables", "mask_and_scale", "decode_times", "chunk_records")

    def open_dataset(self, filename_or_obj, *, drop_variables=None, mask_and_scale=True, decode_times=None,
                     chunk_records=None):
        recording = _session.open_recording(filename_or_obj)
        ds = _dataset.build_dataset(recording, chunk_records, decode=bool(mask_and_scale))
        if drop_variables:
            ds = ds.drop_vars(drop_variables)
        return ds

    def guess_can_open(self, filename_or_obj):
        try:
            path = os.fspath(filename_or_obj)
        except TypeError:
            return False
        if os.path.splitext(path)[1].lower() == ".qvxa":
            return True
        try:
            return os.path.isdir(path) and any(_report.is_report_file_name(n) for n in os.listdir(path))
        except OSError:
            return False
