"""The same computation on a dask.distributed cluster of two worker processes: the tasks
carry only file paths and record ranges, and each worker maps the files itself."""

import numpy as np

import qvanalog
from qvanalog import _format as F


def test_local_cluster_min_max_mean_equal_the_brute_force(plain):
    from dask.distributed import Client, LocalCluster

    raw = np.fromfile(plain.repo / "00000000.DAT", dtype=F.RECORD_DTYPE, offset=F.HEADER_SIZE)
    ds = qvanalog.open(plain.session, chunk_records=1 << 16)
    channels = ["ch1", "ch2", "ch3", "ch4"]
    # Small and patient: two single-threaded workers on a shared, loaded machine.
    with LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None,
                      memory_limit="1GiB", silence_logs=40, timeout="120s") as cluster, \
            Client(cluster, timeout="120s") as client:
        client.wait_for_workers(2, timeout=120)
        futures = client.compute([ds[c].min() for c in channels] + [ds[c].max() for c in channels] +
                                 [ds[c].mean() for c in channels])
        results = [float(f) for f in client.gather(futures, errors="raise")]
        workers = client.run(lambda: True)
        assert len(workers) == 2
    for k, name in enumerate(channels):
        sf, ao = ds[name].encoding["scale_factor"], ds[name].encoding["add_offset"]
        volts = np.minimum(raw[name], 16383) * sf + ao
        assert results[k] == volts.min()
        assert results[4 + k] == volts.max()
        assert np.isclose(results[8 + k], volts.mean(), rtol=0, atol=1e-12)
