# Generated from the core's field tables by tools/gen_fields.py; do not edit.
from typing import NamedTuple


class Field(NamedTuple):
    key: str        # the statement key, e.g. "ПолучательБанк1"
    name: str       # the varnok_py.Document attribute, e.g. "payee_bank1"
    kind: str       # "text", "date" or "amount"
    required: bool  # a document lacking it is dropped with a warning


DOCUMENT_FIELDS: tuple[Field, ...] = (
    Field("Номер", "doc_number", "text", True),
    Field("СекцияДокумент", "doc_type", "text", True),
    Field("ВидОплаты", "payment_type", "text", False),
    Field("Дата", "doc_date", "date", True),
    Field("НазначениеПлатежа", "purpose", "text", True),
    Field("Очередность", "ordering", "text", False),
    Field("Сумма", "amount", "amount", True),
    Field("ПлательщикИНН", "counterparty_inn", "text", True),
    Field("ПлательщикКПП", "counterparty_kpp", "text", False),
    Field("ПлательщикБИК", "counterparty_bic", "text", True),
    Field("ПлательщикБанк1", "counterparty_bank1", "text", True),
    Field("ПлательщикСчет", "counterparty_account", "text", True),
    Field("Плательщик", "counterparty", "text", False),
    Field("Плательщик1", "counterparty_1", "text", False),
    Field("ДатаСписано", "outcome_date", "date", False),
    Field("ПлательщикРасчСчет", "counterparty_ras_account", "text", False),
    Field("ПлательщикКорсчет", "counterparty_cor_account", "text", False),
    Field("ПолучательИНН", "payee_inn", "text", True),
    Field("Получатель", "payee", "text", False),
    Field("ПолучательСчет", "payee_account", "text", True),
    Field("ПолучательКПП", "payee_kpp", "text", False),
    Field("ПолучательБИК", "payee_bic", "text", True),
    Field("ПолучательБанк1", "payee_bank1", "text", True),
    Field("ПолучательРасчСчет", "payee_ras_account", "text", False),
    Field("ПолучательКорсчет", "payee_cor_account", "text", False),
    Field("ДатаПоступило", "income_date", "date", False),
    Field("Плательщик2", "counterparty_2", "text", False),
    Field("Плательщик3", "counterparty_3", "text", False),
    Field("Плательщик4", "counterparty_4", "text", False),
    Field("ПлательщикБанк2", "counterparty_bank2", "text", False),
    Field("Получатель1", "payee_1", "text", False),
    Field("Получатель2", "payee_2", "text", False),
    Field("Получатель3", "payee_3", "text", False),
    Field("Получатель4", "payee_4", "text", False),
    Field("ПолучательБанк2", "payee_bank2", "text", False),
    Field("ВидПлатежа", "payment_kind", "text", False),
    Field("СрокПлатежа", "payment_deadline", "text", False),
    Field("Код", "uin", "text", False),
    Field("КодНазПлатежа", "purpose_code", "text", False),
    Field("НазначениеПлатежа1", "purpose_1", "text", False),
    Field("НазначениеПлатежа2", "purpose_2", "text", False),
    Field("НазначениеПлатежа3", "purpose_3", "text", False),
    Field("НазначениеПлатежа4", "purpose_4", "text", False),
    Field("НазначениеПлатежа5", "purpose_5", "text", False),
    Field("НазначениеПлатежа6", "purpose_6", "text", False),
    Field("СтатусСоставителя", "compiler_status", "text", False),
    Field("ПоказательКБК", "kbk", "text", False),
    Field("ОКАТО", "okato", "text", False),
    Field("ПоказательОснования", "tax_basis", "text", False),
    Field("ПоказательПериода", "tax_period", "text", False),
    Field("ПоказательНомера", "tax_number", "text", False),
    Field("ПоказательДаты", "tax_date", "text", False),
    Field("ПоказательТипа", "tax_type", "text", False),
)

# The account section: its number, then an interval's keys in the order they are written.
ACCOUNT_NUMBER = Field("РасчСчет", "number", "text", True)
INTERVAL_FIELDS: tuple[Field, ...] = (
    Field("ДатаНачала", "date_start", "date", True),
    Field("ДатаКонца", "date_end", "date", False),
    Field("НачальныйОстаток", "start_amount", "amount", True),
    Field("ВсегоПоступило", "total_income", "amount", False),
    Field("ВсегоСписано", "total_expense", "amount", False),
    Field("КонечныйОстаток", "end_amount", "amount", False),
)
