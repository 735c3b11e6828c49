import sys, time
sys.path.insert(0, "bench")
import bench, varnok_py, glob
mode = sys.argv[1]; enc = sys.argv[2]
path = glob.glob(f"build-bench/inputs/statement-1M-{enc}-*.txt")[0]
data = open(path, "rb").read()
parse = varnok_py.parse
hook = [lambda t, a, h: None]
fn = {"parse": lambda: parse(data), "rows": lambda: bench.varnok_rows(parse, data),
      "typed": lambda: bench.varnok_rows(parse, data, True), "hook": lambda: parse(data, hook),
      "getattr": None}[mode]
if mode == "getattr":
    st = parse(data)
    fn = lambda: list(map(bench._document_row, st.documents))
n = int(sys.argv[3]) if len(sys.argv) > 3 else 50
t = time.process_time()
for _ in range(n): fn()
dt = (time.process_time() - t) / n
print(f"{mode} {enc}: {dt*1e3:.2f} ms/call, {len(data)/dt/1e6:.1f} MB/s")
