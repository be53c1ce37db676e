#!/usr/bin/env node
// node-soap's WSSecurity (PasswordDigest, with its wsu:Timestamp beside the
// token) against examples/service.cpp with --token-users, in SOAP 1.1 and
// 1.2: the right password reaches the handler (a load of a uid never saved,
// so the fault is the handler's), a wrong one gets wsse:FailedAuthentication.
//
//   node node_soap_token.js EXAMPLE_SERVICE
//
// `soap` is found through NODE_PATH (node_soap.sh installs it).
'use strict';

const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { spawn } = require('node:child_process');
const soap = require('soap');

const HANDLER = /no work instruction was saved for .Op9999./;
const REFUSED = /The security token could not be authenticated or authorized/;

function startService(program, users) {
  const child = spawn(program, ['--port', '0', '--token-users', users], { stdio: ['ignore', 'pipe', 'pipe'] });
  let log = '';
  child.stderr.on('data', (data) => { log += data; });
  const url = new Promise((resolve, reject) => {
    let out = '';
    const timer = setTimeout(() => reject(new Error(`${program} did not start`)), 30000);
    child.stdout.on('data', (data) => {
      out += data;
      const match = /^listening on (http:\/\/\S+)\n/.exec(out);
      if (match) {
        clearTimeout(timer);
        resolve(match[1]);
      }
    });
    child.on('exit', (code) => reject(new Error(`${program} exited with ${code}: ${log}`)));
  });
  return { child, url, log: () => log };
}

async function main() {
  const directory = fs.mkdtempSync(path.join(os.tmpdir(), 'node-soap-token-'));
  const users = path.join(directory, 'token-users');
  fs.writeFileSync(users, 'alice:open sesame\n');
  const service = startService(process.argv[2], users);
  const failures = [];
  try {
    const url = await service.url;
    for (const version of ['1.1', '1.2']) {
      for (const [name, password, wanted] of [['digest', 'open sesame', HANDLER], ['wrong password', 'guess', REFUSED]]) {
        const client = await soap.createClientAsync(`${url}?wsdl`, version === '1.2' ? { forceSoap12Headers: true } : {});
        client.setSecurity(new soap.WSSecurity('alice', password, { passwordType: 'PasswordDigest', mustUnderstand: true }));
        const port = client.WorkInstructionsService[version === '1.2' ? 'WorkInstructionsSoap12Port' : 'WorkInstructionsSoap11Port'];
        const body = await new Promise((resolve) => {
          port.load({ loadedInfo: [{ targetObject: { attributes: { uid: 'Op9999' } } }] },
                    (error) => resolve(error && error.body ? String(error.body) : `no fault: ${error}`));
        });
        if (!wanted.test(body)) failures.push(`SOAP ${version}, ${name}: ${body.slice(0, 400)}`);
      }
    }
  } finally {
    service.child.kill('SIGTERM');
    await new Promise((resolve) => service.child.on('exit', resolve));
    fs.rmSync(directory, { recursive: true, force: true });
  }
  if (!service.log().includes("refused the UsernameToken of user 'alice'")) {
    failures.push(`no refusal in the service's log: ${service.log()}`);
  }
  for (const failure of failures) console.log('FAIL:', failure);
  if (failures.length) return 1;
  console.log(`node-soap ${require('soap/package.json').version}'s PasswordDigest judged as it should be in SOAP 1.1 and 1.2`);
  return 0;
}

main().then((status) => process.exit(status), (error) => {
  console.error('FAIL:', error && error.stack ? error.stack : error);
  process.exit(1);
});
