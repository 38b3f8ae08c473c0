// Reads "cnpj<TAB>1|0" lines, 1 when this project accepts the CNPJ, and compares with a
// validator written elsewhere that knows the alphanumeric form.
import { createInterface } from "node:readline";
import { isValidCnpj } from "@brazilian-utils/brazilian-utils";

let checked = 0;
let valid = 0;
let letters = 0;
let failures = 0;

for await (const row of createInterface({ input: process.stdin })) {
  if (!row.trim()) continue;
  const [cnpj, ours] = row.split("\t");
  checked += 1;
  const theirs = isValidCnpj(cnpj, { version: 2 });
  if (theirs) valid += 1;
  if (/[A-Z]/.test(cnpj)) letters += 1;
  if (theirs !== (ours === "1")) {
    failures += 1;
    console.error(`disagree on ${cnpj}: here ${ours === "1" ? "valid" : "invalid"}, there ${theirs ? "valid" : "invalid"}`);
  }
}

console.log(`${checked} CNPJs checked (${valid} valid, ${letters} with letters), ${failures} failures`);
if (checked === 0 || valid === 0 || valid === checked || letters === 0 || failures > 0) process.exit(1);
