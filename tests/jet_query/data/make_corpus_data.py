#!/usr/bin/env python3
"""Writes the raw material the jet_query tests check against, taken from the sample databases
with mdbtools: every property blob of MSysObjects (corpus_blobs.json) and the MSysQueries rows
of the query samples, grouped by query name in stored order (corpus_query_rows.json).

Run from anywhere: make_corpus_data.py /work/shared/corpus
"""
import csv
import io
import json
import pathlib
import subprocess
import sys

csv.field_size_limit(1 << 30)


def export(mdb, table):
    out = subprocess.run(["mdb-export", "-b", "hex", str(mdb), table], check=True, capture_output=True).stdout
    return list(csv.DictReader(io.StringIO(out.decode("utf-8"), newline="")))


def optional(value):
    return None if value == "" else value


def main(corpus):
    corpus = pathlib.Path(corpus)
    here = pathlib.Path(__file__).resolve().parent
    blobs = {}
    queries = {}
    for mdb in sorted(corpus.glob("jet*/*.mdb")):
        key = f"{mdb.parent.name}/{mdb.name}"
        objects = export(mdb, "MSysObjects")
        blobs[key] = [{"name": o["Name"], "hex": o["LvProp"]} for o in objects if o["LvProp"]]
        if "queryTest" not in mdb.name:
            continue
        names = {int(o["Id"]): o["Name"] for o in objects if o["Type"] == "5"}
        grouped = {}
        for r in export(mdb, "MSysQueries"):
            grouped.setdefault(names[int(r["ObjectId"])], []).append({
                "attribute": int(r["Attribute"]),
                "expression": optional(r["Expression"]),
                "flag": None if r["Flag"] == "" else int(r["Flag"]),
                "name1": optional(r["Name1"]),
                "name2": optional(r["Name2"]),
            })
        queries[key] = grouped
    (here / "corpus_blobs.json").write_text(json.dumps(blobs, indent=0) + "\n")
    (here / "corpus_query_rows.json").write_text(json.dumps(queries, indent=1) + "\n")


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "/work/shared/corpus")
