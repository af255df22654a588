// The Polars and DuckDB peers of the end-to-end benchmark: what
// `kvo prepare --strong-listwise --partition 70,30` does with the benchmark
// CSV (and `peers.py prepare` with pandas), written the way each tool's users
// would write it. Each run times only its own work (from reading the CSV to
// the closed partition files; not Node.js's start, the imports or DuckDB's
// instance) and prints one JSON object on stdout.
//
//   node bench/peers.mjs polars-eager --csv cases.csv --out DIR
//   node bench/peers.mjs polars-lazy  --csv cases.csv --out DIR
//   node bench/peers.mjs duckdb       --csv cases.csv --out DIR
//
// The rules, as in peers.py: cases without a positive weight are not read
// (they take no local case number); a case is kept when its weight rounds to
// at least 1 and none of its values is missing (empty, or the user-missing
// code: 99 for the categories, -1 for the continuous values). A record is
// the 10 category codes (in the order values first appear among the kept
// cases), the 10 continuous values, the partition indicator (1 training,
// 0 test), the rounded weight, the local and the global case number. 70% of
// the records are drawn for training; DIR/training.txt and DIR/test.txt get
// one line per record in case order, the values with six decimals separated
// by a blank (`peers.py compare` reads them as it reads kvo's files).
import { createRequire } from "node:module";
import { mkdirSync } from "node:fs";
import { join } from "node:path";

const require = createRequire(join(import.meta.dirname, "node", "package.json"));

const CAT = Array.from({ length: 10 }, (_, i) => `c${i}`);
const CONT = Array.from({ length: 10 }, (_, i) => `x${i}`);
const CAT_USER_MISSING = 99;
const CONT_USER_MISSING = -1;
const TRAINING_SHARE = 0.7;
const SEED = 2000000;

function clock() {
  const wall = process.hrtime.bigint();
  const cpu = process.cpuUsage();
  return () => {
    const used = process.cpuUsage(cpu);
    return {
      prepare_s: Number(process.hrtime.bigint() - wall) / 1e9,
      prepare_cpu_s: (used.user + used.system) / 1e6,
    };
  };
}

// Uniform draws on [0, 1) from a fixed seed (mulberry32), one per record.
function draws(count) {
  const out = new Float64Array(count);
  let state = SEED | 0;
  for (let i = 0; i < count; ++i) {
    state = (state + 0x6d2b79f5) | 0;
    let z = Math.imul(state ^ (state >>> 15), state | 1);
    z ^= z + Math.imul(z ^ (z >>> 7), z | 61);
    out[i] = ((z ^ (z >>> 14)) >>> 0) / 4294967296;
  }
  return out;
}

// --- Polars ----------------------------------------------------------------

function polarsPlan(pl, frame) {
  // frame: the cases with a row index "row"; eager or lazy, the same calls.
  let kept = pl.col("w").fillNull(0).gtEq(0.5);
  for (const c of CAT) kept = kept.and(pl.col(c).isNotNull()).and(pl.col(c).neq(CAT_USER_MISSING));
  for (const c of CONT) kept = kept.and(pl.col(c).isNotNull()).and(pl.col(c).neq(CONT_USER_MISSING));
  return frame
    .withColumns(pl.col("w").fillNull(0).gt(0).cast(pl.Int64).cumSum().sub(1).alias("local"))
    .filter(kept)
    .select(
      // Codes by first appearance: the dense rank of each value's first row.
      ...CAT.map((c) => pl.col("row").min().over(c).rank("dense").sub(1).cast(pl.Float64).alias(c)),
      ...CONT.map((c) => pl.col(c)),
      pl.lit(0).cast(pl.Float64).alias("partition"),
      pl.col("w").add(0.5).floor().alias("weight"),
      pl.col("local").cast(pl.Float64),
      pl.col("row").add(1).cast(pl.Float64).alias("case"),
    );
}

function polarsWrite(pl, records, out) {
  const training = pl.Series("training", draws(records.height)).lt(TRAINING_SHARE);
  const marked = records.withColumns(training.cast(pl.Float64).alias("partition"));
  const written = [];
  for (const [name, rows] of [
    ["training", training],
    ["test", training.not()],
  ]) {
    const part = marked.filter(rows);
    part.writeCSV(join(out, `${name}.txt`), { includeHeader: false, separator: " ", floatPrecision: 6 });
    written.push(part.height);
  }
  return written;
}

function polars(mode, csv, out) {
  const pl = require("nodejs-polars");
  const schema = Object.fromEntries([...CAT, ...CONT, "w"].map((c) => [c, pl.Float64]));
  const stop = clock();
  const options = { schema, rowIndexName: "row" };
  const records =
    mode === "eager"
      ? polarsPlan(pl, pl.readCSV(csv, options))
      : polarsPlan(pl, pl.scanCSV(csv, options)).collectSync();
  const written = polarsWrite(pl, records, out);
  return { ...stop(), records: written, mode };
}

// --- DuckDB ----------------------------------------------------------------

function quote(text) {
  return `'${text.replaceAll("'", "''")}'`;
}

async function duckdb(csv, out) {
  const { DuckDBInstance } = require("@duckdb/node-api");
  const instance = await DuckDBInstance.create(":memory:");
  const connection = await instance.connect();
  const columns = [...CAT, ...CONT, "w"].map((c) => `'${c}': 'DOUBLE'`).join(", ");
  const valid = [
    "w >= 0.5",
    ...CAT.map((c) => `${c} IS NOT NULL AND ${c} <> ${CAT_USER_MISSING}`),
    ...CONT.map((c) => `${c} IS NOT NULL AND ${c} <> ${CONT_USER_MISSING}`),
  ].join(" AND ");
  const stop = clock();
  await connection.run(`SELECT setseed(${(SEED % 1000) / 1000})`);
  await connection.run(`CREATE TABLE cases AS SELECT * FROM read_csv(${quote(csv)}, header = true,
                          columns = {${columns}})`);
  // rowid follows the order of the file; the local case number counts the
  // cases with a positive weight before and including this one.
  await connection.run(`CREATE TABLE records AS
    WITH numbered AS (
      SELECT *, rowid AS row, sum(CASE WHEN w > 0 THEN 1 ELSE 0 END) OVER (ORDER BY rowid) - 1 AS local
      FROM cases),
    kept AS (
      SELECT *, ${CAT.map((c) => `min(row) OVER (PARTITION BY ${c}) AS first_${c}`).join(", ")}
      FROM numbered WHERE ${valid})
    SELECT ${CAT.map((c) => `(dense_rank() OVER (ORDER BY first_${c}) - 1)::DOUBLE AS ${c}`).join(", ")},
           ${CONT.join(", ")},
           CASE WHEN random() < ${TRAINING_SHARE} THEN 1.0 ELSE 0.0 END AS partition,
           floor(w + 0.5) AS weight, local::DOUBLE AS local, (row + 1)::DOUBLE AS "case"
    FROM kept`);
  const slots = [...CAT, ...CONT, "partition", "weight", "local", '"case"'];
  const written = [];
  for (const [name, indicator] of [
    ["training", 1],
    ["test", 0],
  ]) {
    const result = await connection.runAndReadAll(`COPY (
        SELECT ${slots.map((s) => `${s}::DECIMAL(18, 6)`).join(", ")} FROM records
        WHERE partition = ${indicator} ORDER BY "case")
      TO ${quote(join(out, `${name}.txt`))} (HEADER false, DELIMITER ' ')`);
    written.push(Number(result.getRows()[0][0]));
  }
  const times = stop();
  connection.closeSync();
  return { ...times, records: written };
}

async function main() {
  const [command, ...rest] = process.argv.slice(2);
  const option = (name) => {
    const at = rest.indexOf(`--${name}`);
    if (at < 0 || at + 1 >= rest.length) throw new Error(`peers.mjs: --${name} is required`);
    return rest[at + 1];
  };
  const csv = option("csv");
  const out = option("out");
  mkdirSync(out, { recursive: true });
  let result;
  if (command === "polars-eager" || command === "polars-lazy") {
    result = polars(command.slice("polars-".length), csv, out);
  } else if (command === "duckdb") {
    result = await duckdb(csv, out);
  } else {
    throw new Error(`peers.mjs: unknown command ${command} (polars-eager, polars-lazy, duckdb)`);
  }
  console.log(JSON.stringify(result));
}

await main();
