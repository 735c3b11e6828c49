"""varnok.dask.read_documents on a distributed.LocalCluster."""
import pytest
from conftest import clean_statement, document, statement

pytest.importorskip("pyarrow", exc_type=ImportError)
pytest.importorskip("pandas", exc_type=ImportError)
pytest.importorskip("dask.dataframe", exc_type=ImportError)
distributed = pytest.importorskip("distributed", exc_type=ImportError)

import varnok  # noqa: E402
from varnok.dask import read_documents  # noqa: E402

pytestmark = pytest.mark.filterwarnings("ignore::DeprecationWarning", "ignore::FutureWarning",
                                        "ignore::ResourceWarning")


def test_read_documents_on_a_local_cluster(write_file):
    paths = [write_file("a.txt", clean_statement()), write_file("b.txt", statement(document("9", "7.25")))]
    frame = read_documents(paths)
    assert frame.npartitions == 2
    with distributed.LocalCluster(n_workers=1, threads_per_worker=2, processes=False,
                                  dashboard_address=None) as cluster, distributed.Client(cluster):
        result = frame.compute()
    expected = varnok.to_dataframe([varnok.read(p) for p in paths], amount_scale=2)
    assert result.reset_index(drop=True).equals(expected)
    assert str(sum(result["amount"])) == "297.75"


def test_no_paths():
    with pytest.raises(ValueError, match="no paths"):
        read_documents([])


def test_one_path_is_one_partition(write_file):
    path = write_file("a.txt", clean_statement())
    assert read_documents(str(path)).npartitions == 1  # not a partition per character


def test_a_scale_that_drops_decimals_names_the_file(write_file):
    path = write_file("cents.txt", statement(document("9", "7.25")))
    with pytest.raises(Exception, match=r"cents.txt:\d+: the amount 7.25 does not fit decimal128\(38, 1\)") \
            as raised:
        read_documents([path], amount_scale=1).compute(scheduler="synchronous")
    assert any(str(path) in note for note in raised.value.__notes__)
    with pytest.raises(ValueError, match="amount_scale must be from 0 to 38"):
        read_documents([path], amount_scale=39)
