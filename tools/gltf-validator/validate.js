// node validate.js FILE.glb: runs the Khronos glTF validator on FILE and prints one line of
// counts, then every error and warning. Exits 1 when the validator reports an error, 2 when the
// file cannot be read.
'use strict';
const fs = require('fs');
const validator = require('gltf-validator');

const path = process.argv[2];
let bytes;
try {
  bytes = new Uint8Array(fs.readFileSync(path));
} catch (e) {
  console.log(`cannot read ${path}: ${e.message}`);
  process.exit(2);
}
validator
  .validateBytes(bytes, { maxIssues: 0 })
  .then((report) => {
    const i = report.issues;
    console.log(`errors ${i.numErrors} warnings ${i.numWarnings} infos ${i.numInfos} ` +
                `hints ${i.numHints} drawCalls ${report.info.drawCallCount} ` +
                `materials ${report.info.materialCount}`);
    for (const m of i.messages.filter((m) => m.severity <= 1)) {
      console.log(`${m.severity === 0 ? 'error' : 'warning'} ${m.code} ${m.pointer || ''}: ${m.message}`);
    }
    process.exit(i.numErrors > 0 ? 1 : 0);
  })
  .catch((e) => {
    console.log(`validator failed: ${e}`);
    process.exit(1);
  });
