// Reads "typedLine<TAB>bank<TAB>cents" lines and checks each with a boleto validator written
// elsewhere; a line it rejects, or a corrupted line it accepts, fails the run.
import { createInterface } from "node:readline";
import { isValidBoleto, getBoletoInfo } from "@brazilian-utils/brazilian-utils";

const banks = new Set();
let checked = 0;
let failures = 0;

const fail = (message) => {
  failures += 1;
  console.error(message);
};

for await (const row of createInterface({ input: process.stdin })) {
  if (!row.trim()) continue;
  const [line, bank, cents] = row.split("\t");
  checked += 1;
  banks.add(bank);
  if (!/^\d{47}$/.test(line)) {
    fail(`not a 47-digit typed line: ${row}`);
    continue;
  }
  if (!isValidBoleto(line)) {
    fail(`rejected: ${line} (bank ${bank})`);
    continue;
  }
  const info = getBoletoInfo(line);
  if (!info || info.bankCode !== bank || info.amount !== Number(cents)) {
    fail(`read differently: ${line}: ${JSON.stringify(info)} (bank ${bank}, cents ${cents})`);
  }
  // The validator must see a wrong field digit, or agreeing with it proves nothing.
  const wrong = line.slice(0, 20) + ((Number(line[20]) + 1) % 10) + line.slice(21);
  if (isValidBoleto(wrong)) fail(`accepted a corrupted line: ${wrong}`);
}

console.log(`${checked} typed lines of ${banks.size} banks checked, ${failures} failures`);
if (checked === 0 || failures > 0) process.exit(1);
