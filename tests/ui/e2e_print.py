"""Printing in the window end to end through AT-SPI, against the simulated
meter: "Печать…" on the page "Текущие" opens Qt's print preview and print
dialog in Russian, and printing to a PDF file gives a PDF with the page's
values; "Сохранить PDF…" on the parameter page writes the grid's values
through the save dialog, which opens in the program's folder."""

import os
import re
import subprocess

import pyatspi
from gi.repository import GLib

from e2e_window import DEADLINE, SCRATCH, Window, nodes, poll


def pdf_text(path):
    return subprocess.run(["pdftotext", "-layout", path, "-"], capture_output=True, text=True,
                          check=True).stdout


def named(root, role, name):
    return next((n for n in nodes(root) if n.getRoleName() == role and n.name == name), None)


def press(node):
    try:
        node.queryAction().doAction(0)
    except GLib.Error:
        pass  # a button that opens a modal dialog answers late


def dialog(w, title):
    return poll("the dialog " + title, lambda: next(
        (n for n in nodes(w.app) if n.getRoleName() in ("dialog", "file chooser", "frame", "window")
         and n.name.startswith(title)), None))


def printing():
    w = Window("--port", os.path.join(SCRATCH, "meter"))
    w.click("Button1")
    w.wait_status("Порт открыт")
    w.tab("****  2. Cкачать  ****")
    w.click("Button4")
    report = poll("the current values", lambda: len(w.text("Memo1")) > 200 and w.text("Memo1"))
    w.wait_status("Завершено успешно")
    values = re.findall(r"= (\S+)", report)
    assert len(values) == 13, report

    # "Печать…": the preview, then Qt's print dialog, both in Russian.
    w.click("PrintMemo1")
    preview = dialog(w, "Печать: Текущие значения")
    print_action = poll("the preview's print button",
                        lambda: named(preview, "push button", "Печать")
                        or named(preview, "tool bar item", "Печать"))
    press(print_action)
    printer = poll("the print dialog", lambda: next(
        (n for n in nodes(w.app) if n.getRoleName() == "dialog" and n.name == "Печать"), None))
    poll("the PDF printer", lambda: any("PDF" in n.name for n in nodes(printer)))
    target = os.path.join(SCRATCH, "напечатано.pdf")
    field = poll("the output file field", lambda: next(
        (n for n in nodes(printer) if n.getRoleName() == "text"
         and n.getState().contains(pyatspi.STATE_EDITABLE)
         and n.getState().contains(pyatspi.STATE_SHOWING)), None))
    field.queryEditableText().setTextContents(target)
    press(poll("the dialog's print button", lambda: named(printer, "push button", "Печать")))
    poll("the printed PDF", lambda: os.path.exists(target) and os.path.getsize(target) > 1000)
    text = poll("the printed PDF's text", lambda: "Текущие значения" in pdf_text(target)
                and pdf_text(target))
    for value in values:
        assert value in text, (value, text)

    # "Сохранить PDF…" of the parameter grid, through the save dialog.
    w.tab("Параметры")
    w.click("Button8")
    poll("the parameters read", lambda: os.path.exists(
        os.path.join(SCRATCH, "авто_", "параметры.xls")))
    w.wait_status("Завершено успешно")
    w.click("PdfRzStringGrid1")
    save = dialog(w, "Сохранить PDF")
    name = poll("the file name field", lambda: next(
        (n for n in nodes(save) if n.getRoleName() == "text"
         and n.getState().contains(pyatspi.STATE_EDITABLE)
         and n.queryText().getText(0, -1).endswith("параметры.pdf")), None))
    saved = os.path.join(SCRATCH, "параметры.pdf")
    press(poll("the save button", lambda: named(save, "push button", "Сохранить")))
    poll("the saved PDF", lambda: os.path.exists(saved) and os.path.getsize(saved) > 1000)
    assert name is not None
    text = pdf_text(saved)
    assert "Параметры прибора" in text
    assert "1482,35" in text, text  # "С, м/с" of the simulated meter

    # "Файл → Акт обслуживания…": one read of the meter, then the PDF.
    w.menu("Акт обслуживания…")
    save = dialog(w, "Сохранить PDF")
    poll("the proposed name", lambda: any(
        n.getRoleName() == "text" and "акт обслуживания" in n.queryText().getText(0, -1)
        for n in nodes(save)))
    press(poll("the save button", lambda: named(save, "push button", "Сохранить")))
    status = poll("the service report", lambda: w.status().startswith("Сохранено: ")
                  and "акт обслуживания" in w.status() and w.status())
    act = status[len("Сохранено: "):]
    assert os.path.dirname(act) == SCRATCH, act
    text = pdf_text(act)
    with open(os.path.join(SCRATCH, "авто_", "текущие.txt"), encoding="cp1251") as f:
        current = f.read()
    for value in re.findall(r"= (\S+)", current):
        assert value in text, (value, text)
    for words in ("Акт обслуживания", "Часы прибора", "Представитель заказчика"):
        assert words in text, words

    w.click("Button2")
    w.wait_status("Порт закрыт")
    w.menu("Выход")
    assert w.process.wait(DEADLINE) == 0


if __name__ == "__main__":
    printing()
    print("e2e print: passed")
