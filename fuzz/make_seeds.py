"""Writes the seed inputs of the fuzz targets into a directory, one subdirectory per target.

Statements come from bench/generate.py (small ones, both encodings and line ends) when it
is there, plus a few hand-made ones in other encodings and shapes; the value target gets
date and amount texts. Everything is made at run time, nothing is stored in the tree.

    python3 fuzz/make_seeds.py OUTDIR
"""

from __future__ import annotations

import hashlib
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent

MINIMAL = "\r\n".join([
    "1CClientBankExchange",
    "ВерсияФормата=1.03",
    "Кодировка=Windows",
    "СекцияРасчСчет",
    "ДатаНачала=01.01.2024",
    "ДатаКонца=31.01.2024",
    "РасчСчет=40702810900000000001",
    "НачальныйОстаток=1000.00",
    "ВсегоПоступило=500.50",
    "ВсегоСписано=0",
    "КонечныйОстаток=1500.50",
    "КонецРасчСчет",
    "СекцияДокумент=Платежное поручение",
    "Номер=17",
    "Дата=05.01.2024",
    "Сумма=500.50",
    "НазначениеПлатежа=Оплата по счёту № 5 \"за услуги\"",
    "ПлательщикИНН=7701000001",
    "ПлательщикБИК=044525225",
    "ПлательщикБанк1=ПАО Банк",
    "ПлательщикСчет=40702810000000000002",
    "ПолучательИНН=7702000002",
    "ПолучательСчет=40702810900000000001",
    "ПолучательБИК=044525226",
    "ПолучательБанк1=АО Банк",
    "ДатаСписано=",
    "ДатаПоступило=05.01.2024",
    "КонецДокумента",
    "СекцияДокумент=",
    "КонецДокумента",
    "КонецФайла",
    "",
])

DATES = ["05.01.2024", "5.1.2024", "05. 01. 2024", "05.01.24", "05.01.+2024", "05.01.-1", "29.02.2024",
         "31.04.2024", "00.01.2024", "2024-01-05", "05/01/2024", "05.01", "05.01.2024 ", "\u300005.01.2024",
         "31.12.262142", "01.01.-262143", "01.01.+99999999999999999999"]
AMOUNTS = ["1500.00", "1_500.00", "+7", "-0", "-0.00", ".5", "5.", "1e3", "1.5E-2", "1.50e1", "12e0", "1e29",
           "79228162514264337593543950335", "7.9228162514264337593543950335",
           "0.00000000000000000000000000005", "0.000000000000000000000000000049", "1 500,00", "12,50", "_1",
           "1__", "99999999999999999999999999999.5"]


def statements() -> list[bytes]:
    out = [MINIMAL.encode("utf-8"), MINIMAL.encode("cp1251"), MINIMAL.replace("\r\n", "\n").encode("cp1251"),
           b"\xef\xbb\xbf" + MINIMAL.encode("utf-8"),
           b"\xff\xfe" + MINIMAL.encode("utf-16-le"), b"\xfe\xff" + MINIMAL.encode("utf-16-be")]
    sys.path.insert(0, str(ROOT / "bench"))
    try:
        import generate  # the benchmark's generator, when that part of the tree exists
    except ImportError:
        return out
    for seed, (size, encoding, line_end, days) in enumerate([
            (1500, "cp1251", "\r\n", 31), (3000, "utf-8", "\r\n", 31), (4000, "cp1251", "\n", 62),
            (6000, "utf-8", "\n", 62), (8000, "cp1251", "\r\n", 93)], start=1):
        out.append(generate.generate(size, encoding, seed, line_end, days=days))
    return out


def write(directory: Path, items: list[bytes]) -> None:
    directory.mkdir(parents=True, exist_ok=True)
    for item in items:
        (directory / hashlib.sha1(item).hexdigest()).write_bytes(item)


def main(argv: list[str]) -> int:
    if len(argv) != 2:
        print(__doc__.strip().splitlines()[-1].strip(), file=sys.stderr)
        return 2
    out = Path(argv[1])
    docs = statements()
    write(out / "parse_statement", docs)
    write(out / "decode", docs + [b"\xd1" * 30, b"\xef\xbb\xbf", b"\xff\xfe\x00\xd8", b"\x0b", b" \t\r\n\x0c"])
    write(out / "values", [t.encode("utf-8") for t in DATES + AMOUNTS])
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
