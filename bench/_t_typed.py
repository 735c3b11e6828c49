import time
from datetime import date
from decimal import Decimal
r = tuple(f"v{i}" for i in range(53)); r = r[:3] + ("2024-01-05",) + r[4:6] + ("1500.00",) + r[7:]
fromiso = date.fromisoformat
def a(row): return (*row[:3], fromiso(row[3]), *row[4:6], Decimal(row[6]), *row[7:])
def b(row):
    row = list(row); row[3] = fromiso(row[3]); row[6] = Decimal(row[6]); return tuple(row)
def c(row):
    return row[:3] + (fromiso(row[3]),) + row[4:6] + (Decimal(row[6]),) + row[7:]
rows = [r] * 20000
for f in (a, b, c, a, b, c):
    t = time.process_time(); list(map(f, rows)); print(f.__name__, (time.process_time() - t) / 20000 * 1e9, "ns")
t = time.process_time()
for x in rows: Decimal("1500.00")
print("Decimal", (time.process_time() - t) / 20000 * 1e9)
t = time.process_time()
for x in rows: fromiso("2024-01-05")
print("fromiso", (time.process_time() - t) / 20000 * 1e9)
t = time.process_time()
for x in rows: date(2024, 1, 5)
print("date()", (time.process_time() - t) / 20000 * 1e9)
