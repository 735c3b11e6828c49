"""Deterministic generator of realistic bank statements in the 1CClientBankExchange format.

The output has the shape of a real export: the format marker, a header, one account
section per calendar month (with balances and turnovers that add up) and then the
document sections of the period, dated in order, with CR LF line ends. A document is
about 900 bytes in windows-1251. The same arguments always give the same bytes.

    python3 bench/generate.py --size 10M --encoding cp1251 -o /tmp/statement.txt
"""

from __future__ import annotations

import argparse
import datetime as dt
import random
import sys
from dataclasses import dataclass

ENCODINGS = ("cp1251", "utf-8")

# Share of documents that carry each optional key (the rest omit the line entirely).
OPTIONAL_SHARE = {
    "Плательщик": 0.95,
    "Получатель": 0.95,
    "Плательщик1": 0.6,
    "Получатель1": 0.6,
    "ПлательщикКПП": 0.7,
    "ПолучательКПП": 0.7,
    "ПлательщикРасчСчет": 0.8,
    "ПолучательРасчСчет": 0.8,
    "ПлательщикКорсчет": 0.85,
    "ПолучательКорсчет": 0.85,
    "ВидОплаты": 0.9,
    "Очередность": 0.9,
    "Код": 0.5,
    "ВидПлатежа": 0.3,
    "СрокПлатежа": 0.2,
}
TAX_SHARE = 0.04  # budget payments with the seven tax indicators and СтатусСоставителя
INCOMING_SHARE = 0.45

DOCUMENT_KINDS = (
    ("Платежное поручение", 0.86),
    ("Банковский ордер", 0.07),
    ("Мемориальный ордер", 0.04),
    ("Платежное требование", 0.02),
    ("Инкассовое поручение", 0.01),
)

_LEGAL_FORMS = ("ООО", "АО", "ПАО", "ЗАО")
_NAME_STEMS = (
    "Ромашка", "Техносфера", "Северный ветер", "Вектор", "Гранит", "СтройИнвест", "Альфа-Трейд",
    "Меридиан", "Прогресс", "Кристалл", "Энергосбыт", "Уральские заводы", "Логистик-Сервис",
    "Волга-Транс", "Фармация", "Торговый дом Юг", "Сибирский хлеб", "Надежда", "Стандарт",
    "ИнфоТех", "Спектр", "Бизнес-Партнер", "Агрокомплекс", "Мегаполис", "Русские сети",
)
_SURNAMES = ("Иванов", "Петров", "Смирнов", "Кузнецов", "Соколов", "Попов", "Лебедев", "Козлов",
             "Новиков", "Морозов", "Волков", "Яковенко", "Зайцев", "Павлов", "Семенов")
_FIRST_NAMES = ("Иван", "Петр", "Алексей", "Сергей", "Дмитрий", "Андрей", "Павел", "Михаил")
_PATRONYMICS = ("Иванович", "Петрович", "Алексеевич", "Сергеевич", "Васильевич", "Андреевич")
_BANKS = (
    ("ПАО СБЕРБАНК", "г. Москва", "044525225", "30101810400000000225"),
    ("АО \"АЛЬФА-БАНК\"", "г. Москва", "044525593", "30101810200000000593"),
    ("Банк ВТБ (ПАО)", "г. Москва", "044525187", "30101810700000000187"),
    ("ЮГО-ЗАПАДНЫЙ БАНК ПАО СБЕРБАНК", "г. Ростов-на-Дону", "046015602", "30101810600000000602"),
    ("ФИЛИАЛ \"ЦЕНТРАЛЬНЫЙ\" БАНКА ВТБ (ПАО)", "г. Москва", "044525411", "30101810145250000411"),
    ("АО \"ТИНЬКОФФ БАНК\"", "г. Москва", "044525974", "30101810145250000974"),
    ("ПАО \"ДОНКОМБАНК\"", "г. Ростов-на-Дону", "046015804", "30101810000000000804"),
    ("УРАЛЬСКИЙ БАНК ПАО СБЕРБАНК", "г. Екатеринбург", "046577674", "30101810500000000674"),
)
_TREASURY = ("ОТДЕЛЕНИЕ РОСТОВ-НА-ДОНУ БАНКА РОССИИ//УФК по Ростовской области", "г. Ростов-на-Дону",
             "016015102", "40102810845370000050")
_GOODS = ("строительные материалы", "канцелярские товары", "транспортные услуги", "аренду помещения",
          "услуги связи", "программное обеспечение", "консультационные услуги", "электроэнергию",
          "запасные части", "продукты питания", "ремонт оборудования", "рекламные услуги")


@dataclass(frozen=True)
class Party:
    name: str
    inn: str
    kpp: str  # empty for individuals
    account: str
    bank: tuple[str, str, str, str]


def _digits(rng: random.Random, n: int) -> str:
    return "".join(rng.choice("0123456789") for _ in range(n))


def _money(kopecks: int) -> str:
    sign = "-" if kopecks < 0 else ""
    kopecks = abs(kopecks)
    return f"{sign}{kopecks // 100}.{kopecks % 100:02d}"


def _date(d: dt.date) -> str:
    return f"{d.day:02d}.{d.month:02d}.{d.year:04d}"


def _party(rng: random.Random) -> Party:
    bank = rng.choice(_BANKS)
    if rng.random() < 0.8:
        name = f"{rng.choice(_LEGAL_FORMS)} \"{rng.choice(_NAME_STEMS)}\""
        return Party(name, _digits(rng, 10), _digits(rng, 4) + "01001", "40702810" + _digits(rng, 12), bank)
    name = f"ИП {rng.choice(_SURNAMES)} {rng.choice(_FIRST_NAMES)} {rng.choice(_PATRONYMICS)}"
    return Party(name, _digits(rng, 12), "", "40802810" + _digits(rng, 12), bank)


def _amount(rng: random.Random) -> int:
    """An amount in kopecks, log-uniform between 10 roubles and 3 million."""
    roubles = 10 ** rng.uniform(1, 6.5)
    return max(1, round(roubles * 100)) if rng.random() < 0.7 else max(100, round(roubles) * 100)


def _purpose(rng: random.Random, kopecks: int, day: dt.date, incoming: bool) -> str:
    vat = kopecks * 20 // 120
    invoice = f"№ {rng.randint(1, 9999)} от {_date(day - dt.timedelta(days=rng.randint(0, 40)))}"
    choice = rng.random() * (0.8 if incoming else 1.0)
    if choice < 0.55:
        return (f"Оплата по счету {invoice} за {rng.choice(_GOODS)}. Сумма {_money(kopecks)} "
                f"В т.ч. НДС (20%) {_money(vat)}")
    if choice < 0.8:
        return (f"Оплата по договору № {rng.randint(1, 500)}/{day.year % 100} от {_date(day.replace(day=1))} "
                f"за {rng.choice(_GOODS)}, без НДС")
    if choice < 0.9:
        return f"Выплата заработной платы за {day.month:02d}.{day.year} по реестру {invoice}. Без налога (НДС)"
    return f"Комиссия за безналичный перевод за период с {_date(day)} по {_date(day)}. НДС не облагается"


def _document(rng: random.Random, own: Party, day: dt.date, number: int, kind: str,
              balance: int) -> tuple[list[str], int]:
    """The lines of one document section and its signed amount in kopecks (+ income).
    A payment that would overdraw `balance` becomes a receipt instead."""
    kopecks = _amount(rng)
    incoming = rng.random() < INCOMING_SHARE or kopecks > balance
    other = _party(rng)
    tax = not incoming and kind == "Платежное поручение" and rng.random() < TAX_SHARE
    if tax:
        other = Party("УФК по Ростовской области (ИФНС России по г. Таганрогу)", "6154028007", "615401001",
                      "03100643000000015800", _TREASURY)
    payer, payee = (other, own) if incoming else (own, other)
    share = OPTIONAL_SHARE
    lines = [f"СекцияДокумент={kind}"]

    def add(key: str, value: str) -> None:
        lines.append(f"{key}={value}")

    add("Номер", str(rng.randint(1, 99999) if incoming else number))
    add("Дата", _date(day))
    add("Сумма", _money(kopecks))
    for prefix, party in (("Плательщик", payer), ("Получатель", payee)):
        if prefix == "Получатель" and incoming:
            add("ДатаСписано", _date(day - dt.timedelta(days=rng.randint(0, 2))))
        add(f"{prefix}Счет", party.account)
        if prefix == "Плательщик" and not incoming:
            add("ДатаСписано", _date(day))
        if prefix == "Получатель" and incoming:
            add("ДатаПоступило", _date(day))
        if rng.random() < share[prefix]:
            add(prefix, f"ИНН {party.inn} {party.name}" if rng.random() < 0.5 else party.name)
        add(f"{prefix}ИНН", party.inn)
        if rng.random() < share[f"{prefix}1"]:
            add(f"{prefix}1", party.name)
        if rng.random() < share[f"{prefix}РасчСчет"]:
            add(f"{prefix}РасчСчет", party.account)
        add(f"{prefix}Банк1", party.bank[0])
        add(f"{prefix}Банк2", party.bank[1])
        add(f"{prefix}БИК", party.bank[2])
        if rng.random() < share[f"{prefix}Корсчет"]:
            add(f"{prefix}Корсчет", party.bank[3])
        if rng.random() < share[f"{prefix}КПП"] or tax:
            add(f"{prefix}КПП", party.kpp)
    if rng.random() < share["ВидОплаты"]:
        add("ВидОплаты", "01" if kind == "Платежное поручение" else "17")
    if rng.random() < share["ВидПлатежа"]:
        add("ВидПлатежа", rng.choice(("", "электронно")))
    if rng.random() < share["СрокПлатежа"]:
        add("СрокПлатежа", _date(day))
    if rng.random() < share["Очередность"]:
        add("Очередность", "3" if tax else "5")
    if tax:
        add("СтатусСоставителя", "01")
        add("ПоказательКБК", "18210102010011000110")
        add("ОКАТО", "60737000")
        add("ПоказательОснования", "ТП")
        add("ПоказательПериода", f"МС.{day.month:02d}.{day.year}")
        add("ПоказательНомера", "0")
        add("ПоказательДаты", _date(day))
        add("ПоказательТипа", "")
        add("Код", "0")
        add("НазначениеПлатежа", "Налог на доходы физических лиц")
    else:
        if rng.random() < share["Код"]:
            add("Код", rng.choice(("0", _digits(rng, 20))))
        add("НазначениеПлатежа", _purpose(rng, kopecks, day, incoming))
    lines.append("КонецДокумента")
    return lines, kopecks if incoming else -kopecks


def _pick_kind(rng: random.Random) -> str:
    x = rng.random()
    for kind, share in DOCUMENT_KINDS:
        if x < share:
            return kind
        x -= share
    return DOCUMENT_KINDS[0][0]


def _account_section(start: dt.date, end: dt.date, account: str, opening: int, income: int,
                     expense: int) -> list[str]:
    return ["СекцияРасчСчет", f"ДатаНачала={_date(start)}", f"ДатаКонца={_date(end)}",
            f"РасчСчет={account}", f"НачальныйОстаток={_money(opening)}",
            f"ВсегоПоступило={_money(income)}", f"ВсегоСписано={_money(expense)}",
            f"КонечныйОстаток={_money(opening + income - expense)}", "КонецРасчСчет"]


def _months(first: dt.date, last: dt.date) -> list[tuple[dt.date, dt.date]]:
    spans = []
    start = first
    while start <= last:
        nxt = (start.replace(day=28) + dt.timedelta(days=4)).replace(day=1)
        spans.append((start, min(nxt - dt.timedelta(days=1), last)))
        start = nxt
    return spans


def _estimate_document_size(encoding: str, eol_len: int, seed: int) -> float:
    """Mean encoded size of a document, from a fixed sample drawn apart from the output."""
    rng = random.Random(seed ^ 0x5EED)
    own = _party(rng)
    day = dt.date(2024, 6, 14)
    sizes = []
    for i in range(200):
        lines, _ = _document(rng, own, day, 1000 + i, _pick_kind(rng), 10**12)
        sizes.append(sum(len(line.encode(encoding)) + eol_len for line in lines))
    return sum(sizes) / len(sizes)


def generate(size: int, encoding: str = "cp1251", seed: int = 1, line_end: str = "\r\n",
             first_day: dt.date = dt.date(2024, 1, 1), days: int = 366) -> bytes:
    """A statement of about `size` bytes (never more, unless the header and the account
    sections alone are larger) in `encoding` ("cp1251" or "utf-8"), covering `days` days from `first_day` with one
    account section per month. Deterministic in all its arguments."""
    if encoding not in ENCODINGS:
        raise ValueError(f"encoding must be one of {ENCODINGS}, not {encoding!r}")
    rng = random.Random(seed)
    own = _party(rng)
    last_day = first_day + dt.timedelta(days=days - 1)
    months = _months(first_day, last_day)
    eol_len = len(line_end.encode())

    def encoded_len(lines: list[str]) -> int:
        return sum(len(line.encode(encoding)) for line in lines) + eol_len * len(lines)

    header = ["1CClientBankExchange", "ВерсияФормата=1.03",
              f"Кодировка={'Windows' if encoding == 'cp1251' else 'UTF-8'}",
              "Отправитель=Учёт и отчётность, версия 3.0", "Получатель=",
              f"ДатаСоздания={_date(last_day + dt.timedelta(days=1))}", "ВремяСоздания=09:15:42",
              f"ДатаНачала={_date(first_day)}", f"ДатаКонца={_date(last_day)}",
              f"РасчСчет={own.account}", "Документ=Платежное поручение"]
    # What is not documents: the header, the account sections (each amount counted at its
    # widest, 15 characters) and the last line. The rest is for documents, which are dated
    # evenly over the period by an estimate of how many will fit.
    account_lines = _account_section(first_day, first_day, own.account, 0, 0, 0)
    budget = size - encoded_len(header) - encoded_len(["КонецФайла"]) - len(months) * (
        encoded_len(account_lines) + 4 * 15)
    expected = max(1, int(budget / _estimate_document_size(encoding, eol_len, seed)))
    docs: list[list[str]] = []
    doc_days: list[dt.date] = []
    signed: list[int] = []
    used = 0
    number = rng.randint(1, 500)
    opening = balance = rng.randint(100_000_00, 5_000_000_00)
    while True:
        day = first_day + dt.timedelta(days=min(days - 1, len(docs) * days // expected))
        lines, kopecks = _document(rng, own, day, number, _pick_kind(rng), balance)
        n = encoded_len(lines)
        if used + n > budget:
            break
        docs.append(lines)
        doc_days.append(day)
        signed.append(kopecks)
        used += n
        balance += kopecks
        number += kopecks < 0

    out = header
    balance = opening
    i = 0
    for start, end in months:
        income = expense = 0
        while i < len(docs) and doc_days[i] <= end:
            if signed[i] > 0:
                income += signed[i]
            else:
                expense -= signed[i]
            i += 1
        out += _account_section(start, end, own.account, balance, income, expense)
        balance += income - expense
    for lines in docs:
        out += lines
    out.append("КонецФайла")
    return (line_end.join(out) + line_end).encode(encoding)


def parse_size(text: str) -> int:
    """'1500', '64K', '10M' or '1G' (binary multiples: 1M = 1,048,576 bytes)."""
    text = text.strip().upper()
    factor = 1
    for suffix, mult in (("K", 1 << 10), ("M", 1 << 20), ("G", 1 << 30)):
        if text.endswith(suffix):
            text, factor = text[:-1], mult
            break
    value = int(float(text) * factor)
    if value <= 0:
        raise argparse.ArgumentTypeError(f"size must be positive: {text!r}")
    return value


def main(argv: list[str] | None = None) -> int:
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--size", type=parse_size, required=True, help="target size in bytes (K, M, G suffixes)")
    ap.add_argument("--encoding", choices=ENCODINGS, default="cp1251")
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--lf", action="store_true", help="LF line ends instead of CR LF")
    ap.add_argument("-o", "--output", default="-", help="output file ('-' for stdout)")
    args = ap.parse_args(argv)
    data = generate(args.size, args.encoding, args.seed, "\n" if args.lf else "\r\n")
    if args.output == "-":
        sys.stdout.buffer.write(data)
    else:
        with open(args.output, "wb") as f:
            f.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main())
