import sys, time, operator
sys.path.insert(0, "bench")
import python_rows as pr
names = pr.DOCUMENT_NAMES
C = type("C", (), {"__slots__": names})
objs = []
for i in range(1204):
    o = C()
    for n in names: setattr(o, n, "Оплата по счету № 12")
    objs.append(o)
g = operator.attrgetter(*names)
for _ in range(3):
    t = time.perf_counter()
    for _ in range(20): list(map(g, objs))
    dt = (time.perf_counter() - t) / 20
    print(f"slots attrgetter: {dt*1e3:.2f} ms per 1204 docs, {dt/1204/53*1e9:.1f} ns/attr")
s = "Оплата по счету № 1234 от 05.01.2024 за товары. Сумма 1500.00 В т.ч. НДС".encode()
t = time.perf_counter()
for _ in range(200000): s.decode()
print(f"decode 70-char cyrillic: {(time.perf_counter()-t)/200000*1e9:.0f} ns")
s2 = "40702810123456789012".encode()
t = time.perf_counter()
for _ in range(200000): s2.decode()
print(f"decode 20-char ascii: {(time.perf_counter()-t)/200000*1e9:.0f} ns")
