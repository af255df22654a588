#!/usr/bin/env python3
"""Writes the sample data set: data/sample/sample.csv and its schema
data/sample/sample.schema.json.

A survey of 3000 bank customers in three countries, sorted by country (the
split variable), with a case weight and a binary outcome (whether the loan
defaulted). Standard library only; the fixed seed makes the files the same
on every run.
"""
import csv
import json
import math
import os
import random

SEED = 20240517
ROWS = 3000

COUNTRIES = [(1, "Norway", 0.30), (2, "Portugal", 0.45), (3, "Chile", 0.25)]
OCCUPATIONS = [
    ("professional", "Professional or manager"),
    ("clerical", "Clerical or sales"),
    ("manual_worker", "Manual worker"),
    ("self_employed", "Self-employed"),
    ("retired", "Retired"),
    ("student", "Student"),
]
EDUCATION = [(1, "Primary"), (2, "Lower secondary"), (3, "Upper secondary"), (4, "Bachelor"),
             (5, "Master or higher"), (9, "No answer")]
SATISFACTION = [(1, "Very dissatisfied"), (2, "Dissatisfied"), (3, "Neutral"), (4, "Satisfied"),
                (5, "Very satisfied")]


def logistic(x):
    return 1.0 / (1.0 + math.exp(-x))


def make_case(rng, country):
    gender = rng.choice("FM")
    age = rng.randint(18, 85)
    if age >= 66:
        occupation = "retired" if rng.random() < 0.85 else rng.choice(["self_employed", "professional"])
    elif age <= 24 and rng.random() < 0.5:
        occupation = "student"
    else:
        occupation = rng.choices(["professional", "clerical", "manual_worker", "self_employed"],
                                 weights=[3, 4, 4, 2])[0]
    education = rng.choices([1, 2, 3, 4, 5], weights=[1, 2, 4, 3, 2])[0]
    base = {1: 52000, 2: 24000, 3: 17000}[country]
    income = base * (0.6 + 0.15 * education) * rng.lognormvariate(0.0, 0.35)
    if occupation in ("student", "retired"):
        income *= 0.55
    tenure = round(rng.uniform(1, 240), 1)
    household = min(8, 1 + int(rng.expovariate(0.7)))
    urban = "urban" if rng.random() < 0.65 else "rural"
    satisfaction = rng.choices([1, 2, 3, 4, 5], weights=[1, 2, 3, 4, 2])[0]
    score = (-1.2 - 0.00004 * (income - base) - 0.35 * (education - 3) + 0.02 * (40 - age) * 0.5
             + 0.4 * (satisfaction <= 2) - 0.004 * tenure + 0.25 * (household >= 4))
    defaulted = 1 if rng.random() < logistic(score) else 0
    weight = round(rng.uniform(0.5, 2.0), 3)

    row = {
        "age": str(age),
        "gender": gender,
        "occupation": occupation,
        "education": str(education),
        "income": "%.2f" % income,
        "tenure_months": "%.1f" % tenure,
        "household_size": str(household),
        "area": urban,
        "satisfaction": str(satisfaction),
        "defaulted": str(defaulted),
        "weight": "%.3f" % weight,
    }
    # Missing data: blanks and "NA" are system-missing; 9 means no answer
    # (a user-missing code); -99 to -97 are refusal codes of income (a
    # user-missing range).
    if rng.random() < 0.03:
        row["age"] = rng.choice(["", "NA"])
    if rng.random() < 0.04:
        row["education"] = "9"
    if rng.random() < 0.05:
        row["income"] = str(rng.choice([-99, -98, -97]))
    elif rng.random() < 0.02:
        row["income"] = ""
    if rng.random() < 0.02:
        row["satisfaction"] = ""
    if rng.random() < 0.01:
        row["tenure_months"] = "NA"
    r = rng.random()
    if r < 0.010:
        row["weight"] = "0"
    elif r < 0.015:
        row["weight"] = "-%.3f" % rng.uniform(0.1, 1.0)
    elif r < 0.020:
        row["weight"] = ""
    return row


def schema():
    return {
        "fields": [
            {"name": "id", "type": "integer", "title": "Customer number", "printFormat": "F6.0"},
            {"name": "country", "type": "integer", "title": "Country of residence",
             "categories": [{"value": c, "label": name} for c, name, _ in COUNTRIES]},
            {"name": "age", "type": "integer", "title": "Age in years", "printFormat": "F3.0"},
            {"name": "gender", "type": "string", "title": "Gender", "constraints": {"maxLength": 1},
             "categories": [{"value": "F", "label": "Female"}, {"value": "M", "label": "Male"}]},
            {"name": "occupation", "type": "string", "title": "Occupation",
             "categories": [{"value": v, "label": l} for v, l in OCCUPATIONS]},
            {"name": "education", "type": "integer", "title": "Highest education", "measure": "ordinal",
             "categories": [{"value": v, "label": l} for v, l in EDUCATION],
             "userMissing": {"values": [9]}},
            {"name": "income", "type": "number", "title": "Yearly income (EUR)", "printFormat": "F10.2",
             "userMissing": {"range": [-99, -97]}},
            {"name": "tenure_months", "type": "number", "title": "Months as a customer",
             "printFormat": "F6.1"},
            {"name": "household_size", "type": "integer", "title": "Persons in the household"},
            {"name": "area", "type": "string", "title": "Urban or rural", "constraints": {"maxLength": 5},
             "categories": [{"value": "urban", "label": "Urban"}, {"value": "rural", "label": "Rural"}]},
            {"name": "satisfaction", "type": "integer", "title": "Satisfaction with the bank",
             "measure": "ordinal", "categories": [{"value": v, "label": l} for v, l in SATISFACTION]},
            {"name": "defaulted", "type": "boolean", "title": "Loan defaulted", "measure": "nominal",
             "categories": [{"value": 0, "label": "No"}, {"value": 1, "label": "Yes"}]},
            {"name": "weight", "type": "number", "title": "Sampling weight", "printFormat": "F8.3"},
        ],
        "missingValues": ["", "NA"],
    }


def main():
    rng = random.Random(SEED)
    here = os.path.dirname(os.path.abspath(__file__))
    out_dir = os.path.join(here, "sample")
    os.makedirs(out_dir, exist_ok=True)

    countries = rng.choices([c for c, _, _ in COUNTRIES], weights=[w for _, _, w in COUNTRIES], k=ROWS)
    countries.sort()
    names = [f["name"] for f in schema()["fields"]]
    with open(os.path.join(out_dir, "sample.csv"), "w", newline="", encoding="utf-8") as f:
        writer = csv.writer(f, lineterminator="\n")
        writer.writerow(names)
        for i, country in enumerate(countries, start=1):
            row = make_case(rng, country)
            row["id"] = str(i)
            row["country"] = str(country)
            writer.writerow([row[n] for n in names])
    with open(os.path.join(out_dir, "sample.schema.json"), "w", encoding="utf-8") as f:
        json.dump(schema(), f, indent=2)
        f.write("\n")


if __name__ == "__main__":
    main()
