#!/usr/bin/env node
// node-soap as a client of `wixml serve`: it builds the client from the
// service's ?wsdl alone (the schemas come by the imports the service rewrote),
// then calls load and save over SOAP 1.1 and SOAP 1.2 and checks the values
// of each reply against the example replies the service answers with.
//
//   node node_soap_client.js WIXML
//
// `soap` is found through NODE_PATH (node_soap.sh installs it).
'use strict';

const assert = require('node:assert/strict');
const { spawn } = require('node:child_process');
const soap = require('soap');

const START_MS = 30000;
const [wixml] = process.argv.slice(2);
if (!wixml) {
  console.error('usage: node_soap_client.js WIXML');
  process.exit(1);
}

const list = (value) => (value === undefined ? [] : Array.isArray(value) ? value : [value]);

function startService() {
  const child = spawn(wixml, ['serve', '--port', '0', '--strict'], { stdio: ['ignore', 'pipe', 'pipe'] });
  let log = '';
  child.stderr.on('data', (data) => { log += data; });
  const url = new Promise((resolve, reject) => {
    let out = '';
    const timer = setTimeout(() => reject(new Error('wixml serve did not start')), START_MS);
    child.stdout.on('data', (data) => {
      out += data;
      const match = /^listening on (http:\/\/\S+)\n/.exec(out);
      if (match) {
        clearTimeout(timer);
        resolve(match[1]);
      }
    });
    child.on('exit', (code) => reject(new Error(`wixml serve exited with ${code}: ${log}`)));
  });
  return { child, url, log: () => log };
}

const loadArgs = {
  loadedInfo: [
    { targetContext: { attributes: { uid: 'PlantLineB7Ctx' } }, targetObject: { attributes: { uid: 'Op0010Gearbox' } } },
  ],
};
const saveArgs = {
  savedObjects: [{ attributes: { workInstructionFile: 'WI-1.wix' }, targetObject: { attributes: { uid: 'Op0010' } } }],
};

// The values of examples/load-reply.xml and examples/save-reply.xml, as node-soap reads them.
function checkLoad(reply) {
  const documents = list(reply.loadedObjects);
  assert.equal(documents.length, 1);
  assert.equal(documents[0].attributes.workInstructionFile, 'WI-4711/B/gearbox-housing.wix');
  assert.equal(documents[0].targetObject.attributes.uid, 'Op0010Gearbox');
  const step = list(documents[0].loadedDCDs)[0];
  assert.equal(step.attributes.persistentId, 'Dcd0815Torque');
  const torque = list(step.objectData.doubleProps).find((p) => p.attributes.key === 'nominal_torque');
  assert.equal(Number(torque.attributes.value), 24.5);
}

function checkSave(reply) {
  const data = reply.ServiceData;
  assert.deepEqual(list(data.created).map((o) => o.attributes.uid), ['Pf0817Photo']);
  assert.deepEqual(list(data.updated).map((o) => o.attributes.uid), ['Dcd0815Torque', 'Stx4711Housing']);
  const error = list(data.partialErrors)[0].attributes;
  assert.equal(error.uid, 'SymWarning001');
  assert.equal(Number(error.code), 515024);
}

async function main() {
  const service = startService();
  const failures = [];
  let calls = 0;
  try {
    const url = await service.url;
    for (const version of ['1.1', '1.2']) {
      const options = version === '1.2' ? { forceSoap12Headers: true } : {};
      const client = await soap.createClientAsync(`${url}?wsdl`, options);
      const port = client.WorkInstructionsService[version === '1.2' ? 'WorkInstructionsSoap12Port' : 'WorkInstructionsSoap11Port'];
      for (const [operation, args, checkReply] of [['load', loadArgs, checkLoad], ['save', saveArgs, checkSave]]) {
        try {
          const reply = await new Promise((resolve, reject) => {
            port[operation](args, (error, result) => (error ? reject(error) : resolve(result)));
          });
          checkReply(reply);
          calls += 1;
        } catch (error) {
          const body = error.body ? ` body ${JSON.stringify(String(error.body).slice(0, 400))}` : '';
          failures.push(`${operation} over SOAP ${version}: ${String(error.message).split('\n').join(' ')}${body}`);
        }
      }
    }
  } finally {
    service.child.kill('SIGTERM');
    await new Promise((resolve) => service.child.on('exit', resolve));
  }
  // node-soap sent each version as the binding says, or the service would have refused it.
  for (const line of ['POST load 200', 'POST save 200', 'GET wsdl 200', 'GET xsd 200']) {
    if (!service.log().includes(line)) failures.push(`no '${line}' in the service's log: ${service.log()}`);
  }
  for (const failure of failures) console.log('FAIL:', failure);
  if (failures.length) return 1;
  console.log(`node-soap ${require('soap/package.json').version} built its client from ?wsdl and made ${calls} calls, ` +
              'load and save over SOAP 1.1 and 1.2, each reply as expected');
  return 0;
}

main().then((status) => process.exit(status), (error) => {
  console.error('FAIL:', error && error.stack ? error.stack : error);
  process.exit(1);
});
