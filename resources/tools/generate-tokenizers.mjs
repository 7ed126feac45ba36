#!/usr/bin/env node
// Generates the token rank tables in resources/Tokenizers and the reference token counts of the
// tokenizer fixtures from the npm package tiktoken 1.0.22 (MIT licence; its rank data is the
// published o200k_base and cl100k_base data).
//
//   mkdir /tmp/tk && (cd /tmp/tk && npm install tiktoken@1.0.22)
//   node resources/tools/generate-tokenizers.mjs /tmp/tk/node_modules/tiktoken
//
// Nothing of the package is committed but what this script writes. The editor never needs the
// package or the network: it reads the generated tables.
//
// Table format: one line per token, "<Base64 of the token's bytes> <rank>", LF line ends, in rank
// order. Reference counts: tests/fixtures/tokenizer/counts.json, the package's own count of every
// fixture text (encode_ordinary: special-token names are plain text, as in the editor).

import { createRequire } from "node:module";
import fs from "node:fs";
import path from "node:path";
import { fileURLToPath } from "node:url";

const here = path.dirname(fileURLToPath(import.meta.url));
const root = path.resolve(here, "..", "..");
const packageDir = process.argv[2];
if (!packageDir) {
  console.error("usage: generate-tokenizers.mjs PATH/TO/node_modules/tiktoken");
  process.exit(2);
}
const require = createRequire(path.join(path.resolve(packageDir), "package.json"));
const manifest = require("./package.json");
if (manifest.version !== "1.0.22") {
  console.error(`expected tiktoken 1.0.22, found ${manifest.version}`);
  process.exit(1);
}
const { Tiktoken } = require("./tiktoken.cjs");

const expectedEntries = { o200k_base: 199998, cl100k_base: 100256 };

// The package packs its ranks as "! <first rank> <Base64> <Base64> ...", one token after another
// with consecutive ranks.
function unpackRanks(packed, name) {
  const fields = packed.split(" ");
  if (fields[0] !== "!" || !/^\d+$/.test(fields[1])) {
    throw new Error(`${name}: unexpected rank packing`);
  }
  const first = Number(fields[1]);
  const tokens = fields.slice(2);
  for (const t of tokens) {
    if (!/^[A-Za-z0-9+/]+={0,2}$/.test(t)) throw new Error(`${name}: not Base64: ${t}`);
  }
  return tokens.map((b64, i) => [b64, first + i]);
}

function loadEncoder(name) {
  const data = require(`./encoders/${name}.json`);
  const entries = unpackRanks(data.bpe_ranks, name);
  if (entries.length !== expectedEntries[name]) {
    throw new Error(`${name}: ${entries.length} entries, expected ${expectedEntries[name]}`);
  }
  const encoder = new Tiktoken(data.bpe_ranks, data.special_tokens, data.pat_str);
  // The unpacking must agree with the package's own reading of every rank.
  for (const [b64, rank] of entries) {
    const bytes = Buffer.from(encoder.decode_single_token_bytes(rank));
    if (bytes.toString("base64") !== b64) throw new Error(`${name}: rank ${rank} disagrees`);
  }
  const singles = new Set(entries.map(([b64]) => Buffer.from(b64, "base64")).filter((b) => b.length === 1).map((b) => b[0]));
  if (singles.size !== 256) throw new Error(`${name}: ${singles.size} single bytes`);
  return { entries, encoder };
}

const tablesDir = path.join(root, "resources", "Tokenizers");
const fixturesDir = path.join(root, "tests", "fixtures", "tokenizer");
fs.mkdirSync(tablesDir, { recursive: true });

const fixtures = fs
  .readdirSync(fixturesDir)
  .filter((f) => f.endsWith(".txt"))
  .sort();
const counts = {};
for (const f of fixtures) counts[f] = {};

for (const name of ["o200k_base", "cl100k_base"]) {
  const { entries, encoder } = loadEncoder(name);
  const text = entries.map(([b64, rank]) => `${b64} ${rank}\n`).join("");
  fs.writeFileSync(path.join(tablesDir, `${name}.tiktoken`), text);
  for (const f of fixtures) {
    const sample = fs.readFileSync(path.join(fixturesDir, f), "utf8");
    counts[f][name] = encoder.encode_ordinary(sample).length;
  }
  encoder.free();
  console.log(`${name}: ${entries.length} entries`);
}
fs.writeFileSync(path.join(fixturesDir, "counts.json"), JSON.stringify(counts, null, 2) + "\n");
console.log(`counts of ${fixtures.length} fixtures written`);
