// Reads PIX texts built by this project, one JSON object a line ({text, key, kind, cents,
// name, city, txid, description}), and checks each with a BR Code reader written elsewhere:
// it must accept the text, read back what the text was built to carry, and refuse the text
// with one character changed.
import { createInterface } from "node:readline";
import {
  getPixKeyInfo,
  getPixPayloadInfo,
  isValidPixPayload,
} from "@brazilian-utils/brazilian-utils";

const kinds = { CPF: "cpf", CNPJ: "cnpj", "e-mail": "email", telefone: "phone", "aleatória": "evp" };
const seen = new Set();
let checked = 0;
let failures = 0;
const fail = (message) => {
  failures += 1;
  console.error(message);
};

for await (const row of createInterface({ input: process.stdin })) {
  if (!row.trim()) continue;
  const s = JSON.parse(row);
  checked += 1;
  seen.add(s.kind);
  if (!isValidPixPayload(s.text)) {
    fail(`rejected: ${s.text}`);
    continue;
  }
  const info = getPixPayloadInfo(s.text);
  const expected = {
    key: s.key,
    merchantName: s.name,
    merchantCity: s.city,
    amount: s.cents === null ? undefined : s.cents / 100,
    txid: s.txid || undefined,
    description: s.description || undefined,
    pointOfInitiation: "static",
  };
  for (const [field, want] of Object.entries(expected)) {
    if (info[field] !== want) fail(`${field} read as ${JSON.stringify(info[field])}, built ${JSON.stringify(want)}: ${s.text}`);
  }
  const key = getPixKeyInfo(s.key);
  if (!key || key.type !== kinds[s.kind] || key.value !== s.key)
    fail(`key ${s.key} (${s.kind}) read as ${JSON.stringify(key)}`);
  // The reader must see damage, or agreeing with it proves nothing.
  const at = Math.floor(s.text.length / 2);
  const other = s.text[at] === "7" ? "8" : "7";
  const damaged = s.text.slice(0, at) + other + s.text.slice(at + 1);
  if (isValidPixPayload(damaged)) fail(`accepted a damaged text: ${damaged}`);
}

console.log(`${checked} PIX texts of ${seen.size} key kinds checked, ${failures} failures`);
if (checked === 0 || seen.size < 5 || failures > 0) process.exit(1);
