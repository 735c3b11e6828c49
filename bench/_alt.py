import sys, time, subprocess, json, glob, statistics
import varnok_py
floor = "build-bench/bench/scan_floor"
for size in sys.argv[1].split(","):
  for enc in ("cp1251", "utf-8"):
    path = glob.glob(f"build-bench/inputs/statement-{size}M-{enc}-*.txt")[0]
    data = open(path, "rb").read()
    fl, pa = [], []
    for _ in range(5):
        out = subprocess.run([floor, "--runs", "1", "--min-seconds", "0.2", path], capture_output=True, text=True).stdout
        fl.append(json.loads(out)["median_mbps"])
        t = time.perf_counter(); n = 0
        while time.perf_counter() - t < 0.2:
            varnok_py.parse(data); n += 1
        pa.append(len(data) * n / (time.perf_counter() - t) / 1e6)
    f, p = statistics.median(fl), statistics.median(pa)
    print(f"{size}M {enc}: floor {f:.0f} parse {p:.0f} ratio {p/f:.2f}  (pairs {[round(b/a,2) for a,b in zip(fl,pa)]})")
