#!/usr/bin/env node
// node-soap as a client of `wixml serve`, or of examples/service.cpp with
// --store: it builds the client from the service's ?wsdl alone (the schemas
// come by the imports the service rewrote), then calls over SOAP 1.1 and SOAP
// 1.2 and checks the values of each reply: against the example replies that
// wixml serve answers with, or against what was saved before, and the
// example service's fault for a uid never saved.
//
//   node node_soap_client.js WIXML
//   node node_soap_client.js --store EXAMPLE_SERVICE
//
// `soap` is found through NODE_PATH (node_soap.sh installs it).
'use strict';

const assert = require('node:assert/strict');
const { spawn } = require('node:child_process');
const soap = require('soap');

const START_MS = 30000;
const store = process.argv[2] === '--store';
const program = process.argv[store ? 3 : 2];
if (!program) {
  console.error('usage: node_soap_client.js WIXML | --store EXAMPLE_SERVICE');
  process.exit(1);
}
const command = store ? [program, '--port', '0'] : [program, 'serve', '--port', '0', '--strict'];

const list = (value) => (value === undefined ? [] : Array.isArray(value) ? value : [value]);

function startService() {
  const child = spawn(command[0], command.slice(1), { stdio: ['ignore', 'pipe', 'pipe'] });
  let log = '';
  child.stderr.on('data', (data) => { log += data; });
  const url = new Promise((resolve, reject) => {
    let out = '';
    const timer = setTimeout(() => reject(new Error(`${command.join(' ')} did not start`)), START_MS);
    child.stdout.on('data', (data) => {
      out += data;
      const match = /^listening on (http:\/\/\S+)\n/.exec(out);
      if (match) {
        clearTimeout(timer);
        resolve(match[1]);
      }
    });
    child.on('exit', (code) => reject(new Error(`${command.join(' ')} exited with ${code}: ${log}`)));
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

// The example service keeps what it is sent: a save creates the document (and
// updates it the second time), a load gives it back, an unknown uid is a fault.
const storeLoadArgs = (uid) => ({ loadedInfo: [{ targetObject: { attributes: { uid } } }] });

function checkStored(version) {
  return (reply) => {
    const data = reply.ServiceData;
    const changed = version === '1.1' ? data.created : data.updated;
    assert.deepEqual(list(changed).map((o) => o.attributes.uid), ['Op0010']);
  };
}

function checkLoadedBack(reply) {
  const documents = list(reply.loadedObjects);
  assert.equal(documents.length, 1);
  assert.equal(documents[0].attributes.workInstructionFile, 'WI-1.wix');
  assert.equal(documents[0].targetObject.attributes.uid, 'Op0010');
}

// Each version's calls in order, with a check of the reply, or of the fault's
// body and the envelope as node-soap parsed it.
function callsFor(version) {
  if (!store) return [['load', loadArgs, checkLoad], ['save', saveArgs, checkSave]];
  return [
    ['save', saveArgs, checkStored(version)],
    ['load', storeLoadArgs('Op0010'), checkLoadedBack],
    ['load', storeLoadArgs('Op9999'), null, (body, root) => {
      assert.match(body, /UnknownObject/);
      assert.match(body, /no work instruction was saved for .Op9999./);
      // node-soap reads the detail as a tree: the service's element arrives by name.
      const fault = root.Envelope.Body.Fault;
      assert.equal((fault.detail || fault.Detail).uid, 'Op9999');
    }],
  ];
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
      for (const [operation, args, checkReply, checkFault] of callsFor(version)) {
        try {
          const reply = await new Promise((resolve, reject) => {
            port[operation](args, (error, result) => (error ? reject(error) : resolve(result)));
          }).then((result) => {
            assert.ok(checkReply, `a reply where a fault was wanted: ${JSON.stringify(result)}`);
            return result;
          }, (error) => {
            if (!checkFault || !error.body) throw error;
            checkFault(String(error.body), error.root);
            return null;
          });
          if (reply) checkReply(reply);
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
  const logged = ['POST load 200', 'POST save 200', 'GET wsdl 200', 'GET xsd 200'];
  if (store) logged.push('POST load 500');
  for (const line of logged) {
    if (!service.log().includes(line)) failures.push(`no '${line}' in the service's log: ${service.log()}`);
  }
  for (const failure of failures) console.log('FAIL:', failure);
  if (failures.length) return 1;
  console.log(`node-soap ${require('soap/package.json').version} built its client from ?wsdl and made ${calls} calls, ` +
              `${store ? 'save, load and a fault' : 'load and save'} over SOAP 1.1 and 1.2, each as expected`);
  return 0;
}

main().then((status) => process.exit(status), (error) => {
  console.error('FAIL:', error && error.stack ? error.stack : error);
  process.exit(1);
});
