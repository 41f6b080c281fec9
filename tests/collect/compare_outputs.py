"""Reads the files of two collections back with Python's csv, json and xlrd
modules: the CSV run (first folder) and the JSON run (second folder) must
hold the same files, and every archive value must equal the workbook's.
Prints "ok" and the number of values compared; exits 1 with the first
difference. With --one it checks the CSV and JSON outputs of one
flovir-cli archive download against its workbook."""
import csv, datetime, json, math, os, sys
import xlrd

DATED = (xlrd.XL_CELL_NUMBER, xlrd.XL_CELL_DATE)
SHEETS = {"hourly": "hours", "daily": "days", "monthly": "months"}


def fail(text):
    print(text)
    sys.exit(1)


def iso(serial, kind):
    t = datetime.datetime(1899, 12, 30) + datetime.timedelta(days=serial)
    t = t.replace(microsecond=0) + datetime.timedelta(seconds=round(t.microsecond / 1e6))
    return {"hourly": t.strftime("%Y-%m-%dT%H:%M"), "daily": t.strftime("%Y-%m-%d"),
            "monthly": t.strftime("%Y-%m")}[kind]


def sheet_rows(path, kind):
    """(type, time, [V1..V4, B1..B4], mains_off, events) of the kind's sheet."""
    sheet = xlrd.open_workbook(path).sheet_by_name(SHEETS[kind])
    v0 = 2 if kind == "hourly" else 1
    nums = lambda r: [sheet.cell_value(r, v0 + c) for c in range(8)]
    rows, r = [], 8
    while sheet.cell_type(r, 0) in DATED:
        rows.append(("interval", iso(sheet.cell_value(r, 0), kind), nums(r),
                     sheet.cell_value(r, v0 + 8), sheet.cell_value(r, v0 + 9)))
        r += 1
    if sheet.cell_value(r, 0) != "Итого:":
        fail(f"{path}: no totals row at {r}")
    rows.append(("total", "", nums(r), sheet.cell_value(r, v0 + 8), ""))
    r += 3
    while r < sheet.nrows and sheet.cell_type(r, 0) in DATED:
        rows.append(("integrator", iso(sheet.cell_value(r, 0), kind), nums(r), None, ""))
        r += 1
    return rows


def same(a, b, what):
    # Volumes: the workbook holds count x the single-precision scale factor.
    if not math.isclose(float(a), float(b), rel_tol=1e-7, abs_tol=1e-9):
        fail(f"{what}: {a} != workbook {b}")


def compare(workbook, csv_path, json_path, kind):
    expected = sheet_rows(workbook, kind)
    with open(csv_path, newline="", encoding="utf-8") as f:
        table = list(csv.DictReader(f))
    with open(json_path, encoding="utf-8") as f:
        doc = json.load(f)
    if len(table) != len(expected):
        fail(f"{csv_path}: {len(table)} rows, workbook {len(expected)}")
    entries = doc["entries"] + [doc["totals"]] + doc["integrators"]
    if len(entries) != len(expected):
        fail(f"{json_path}: {len(entries)} rows, workbook {len(expected)}")
    if doc["archive"] != kind or "status" not in doc or "meter" not in doc:
        fail(f"{json_path}: archive, status or meter missing")
    count = 0
    for (type_, time, values, mains_off, events), row, entry in zip(expected, table, entries):
        where = f"{csv_path} {type_} {time}"
        if row["row"] != type_ or row["time"] != time or entry.get("time", "") != time:
            fail(f"{where}: row {row['row']} {row['time']} / json {entry.get('time')}")
        got = [row[f"V{n}_m3"] for n in range(1, 5)] + [row[f"B{n}_h"] for n in range(1, 5)]
        got_json = entry["volume_m3"] + entry["operating_time_h"]
        if row["no_value"] or "no_value" in entry:
            # Today's integrator: zeros in the workbook, no value here.
            if (type_ != "integrator" or any(values) or any(got) or any(v is not None for v in got_json)
                    or row["no_value"] != entry.get("no_value")):
                fail(f"{where}: no value {row['no_value']!r} with {got} / {got_json} / {values}")
            count += 16
            continue
        for column, (a, b) in enumerate(zip(got, values)):
            same(a, b, f"{where} column {column}")
        for a, b in zip(got_json, values):
            same(a, b, f"{json_path} {type_} {time}")
        count += 16
        if mains_off is not None:
            same(row["mains_off_h"], mains_off, f"{where} mains off")
            same(entry["mains_off_h"], mains_off, f"{json_path} {time} mains off")
            count += 2
        if row["events"] != events or entry.get("events", "") != events:
            fail(f"{where}: events {row['events']!r} != {events!r}")
    return count


def main(csv_folder, json_folder):
    compared = 0
    for meter in sorted(os.listdir(csv_folder)):
        folder = os.path.join(csv_folder, meter)
        if not os.path.isdir(folder):
            continue
        names = sorted(n for n in os.listdir(folder) if not n.startswith("."))
        other = sorted(n for n in os.listdir(os.path.join(json_folder, meter))
                       if not n.startswith("."))
        stems = lambda ns: [os.path.splitext(n)[0] + ("" if n.endswith(".xls") else ".data")
                            for n in ns if n != "state.json"]
        if stems(names) != stems(other):
            fail(f"{meter}: files differ: {names} / {other}")
        for name in names:
            stem, ext = os.path.splitext(name)
            kind = stem.split("_")[0]
            if ext == ".xls" and kind in SHEETS:
                compared += compare(os.path.join(folder, name), os.path.join(folder, stem + ".csv"),
                                    os.path.join(json_folder, meter, stem + ".json"), kind)
            elif ext == ".csv":  # current values and parameters: well-formed, with units
                with open(os.path.join(folder, name), newline="", encoding="utf-8") as f:
                    header = next(csv.reader(f))
                with open(os.path.join(json_folder, meter, stem + ".json"), encoding="utf-8") as f:
                    doc = json.load(f)
                if kind == "current" and ("V1_m3" not in header or "channels" not in doc):
                    fail(f"{name}: {header} / {list(doc)}")
                if kind == "params" and (header[-1] != "value" or len(doc["parameters"]) != 161):
                    fail(f"{name}: {header} / {len(doc.get('parameters', []))}")
    print("ok", compared)


if sys.argv[1] == "--one":  # WORKBOOK KIND CSV JSON: one download's outputs
    print("ok", compare(sys.argv[2], sys.argv[4], sys.argv[5], sys.argv[3]))
else:
    main(sys.argv[1], sys.argv[2])
