#!/usr/bin/env node
// node-soap serves schema/WorkInstructionsService.wsdl on 127.0.0.1, and the
// example client saves through it twice in each SOAP version, and in SOAP 1.1
// with a WS-Security UsernameToken: the first save
// is answered with the values of examples/save-reply.xml, the second with a
// SOAP fault. node-soap's authenticate hook gets the token as node-soap parsed
// it, and its digest is computed here with node's crypto. What
// node-soap read from each request is checked too, so both directions pass
// through a SOAP stack that shares no code with ours.
//
//   node node_soap_peer.js WSDL CLIENT SAVE-REPLY.xml
//
// `soap` is found through NODE_PATH (node_soap.sh installs it).
'use strict';

const assert = require('node:assert/strict');
const { execFile } = require('node:child_process');
const crypto = require('node:crypto');
const fs = require('node:fs');
const http = require('node:http');
const path = require('node:path');
const soap = require('soap');

const STEP_MS = 60000; // bound on each run of the client
const SAVE_ACTION = 'http://velmora.com/Schemas/MES/2010-09/WorkInstructions/save';
const FAULT_STRING = 'Work instruction is checked out by another user';
const FAULT_DETAIL = 'jdoe since 08:00';
// The detail as an element of its own namespace, which must reach the client by name.
const LOCK_NS = 'urn:example:lock';
const LOCK = { 'lk:lock': { attributes: { 'xmlns:lk': LOCK_NS, by: 'jdoe' }, $value: FAULT_DETAIL } };

const [wsdlPath, client, replyPath] = process.argv.slice(2);
if (!replyPath) {
  console.error('usage: node_soap_peer.js WSDL CLIENT SAVE-REPLY.xml');
  process.exit(1);
}

// The reply's values come from the example file, so that this test and the
// stand-in's answer the same thing; node-soap writes the XML itself.
function replyValues(file) {
  const text = fs.readFileSync(file, 'utf8').replace(/<!--[\s\S]*?-->/g, '');
  const attributes = (element) => Object.fromEntries([...element.matchAll(/(\w+)="([^"]*)"/g)].map((m) => [m[1], m[2]]));
  const group = (name) => [...text.matchAll(new RegExp(`<base:${name}\\s([^>]*?)/>`, 'g'))].map((m) => attributes(m[1]));
  const values = { created: group('created'), updated: group('updated'), deleted: group('deleted'),
                   partialErrors: group('partialErrors') };
  if (values.created.length + values.updated.length === 0 || values.partialErrors.length === 0) {
    throw new Error(`${file}: no created/updated objects or partial errors found`);
  }
  return values;
}

function serviceData(values) {
  const data = {};
  for (const [name, entries] of Object.entries(values)) {
    if (entries.length) data[name] = entries.map((attributes) => ({ attributes }));
  }
  return { ServiceData: data };
}

const values = replyValues(replyPath);
const received = [];
const PASSWORD = 'secret';

// What node-soap made of the request's wsse:Security block: 'none', 'digest ok',
// or what differs. node-soap keeps an element's text in $value when it has attributes.
let lastToken = 'none';
function judgeToken(security) {
  if (!security) return 'none';
  const text = (value) => (value && typeof value === 'object' ? value.$value : value);
  const token = security.UsernameToken || {};
  const password = token.Password || {};
  const type = password.attributes && password.attributes.Type;
  if (!String(type).endsWith('#PasswordDigest')) return `password type ${type}`;
  const nonce = Buffer.from(text(token.Nonce) || '', 'base64');
  const created = text(token.Created) || '';
  const digest = crypto.createHash('sha1').update(Buffer.concat([nonce, Buffer.from(created), Buffer.from(PASSWORD)]))
    .digest('base64');
  if (text(token.Username) !== 'jdoe') return `user ${text(token.Username)}`;
  if (nonce.length < 16) return `a nonce of ${nonce.length} bytes`;
  if (Math.abs(Date.now() - Date.parse(created)) > 300000) return `Created ${created}`;
  return text(password) === digest ? 'digest ok' : `digest ${text(password)}, expected ${digest}`;
}

function save(args, callback, headers, req) {
  const contentType = (req && req.headers['content-type']) || '';
  received.push({ args, soapAction: req && req.headers.soapaction, contentType, token: lastToken });
  // Each client run saves twice: a reply, then a fault.
  if (received.length % 2 === 1) return serviceData(values);
  // node-soap answers a thrown fault with HTTP 200 unless told otherwise;
  // SOAP over HTTP wants 500.
  if (contentType.startsWith('application/soap+xml')) {
    throw { Fault: { Code: { Value: 'soap:Receiver', Subcode: { Value: 'rpc:Locked' } },
                     Reason: { Text: FAULT_STRING }, Detail: LOCK, statusCode: 500 } };
  }
  throw { Fault: { faultcode: 'soap:Server', faultstring: FAULT_STRING, detail: LOCK, statusCode: 500 } };
}

const services = {
  WorkInstructionsService: {
    WorkInstructionsSoap11Port: { save },
    WorkInstructionsSoap12Port: { save },
  },
};

function run(url, options) {
  return new Promise((resolve) => {
    const env = { ...process.env, WI_PASSWORD: PASSWORD };
    execFile(client, [...options, url], { timeout: STEP_MS, env }, (error, stdout, stderr) => {
      const code = error ? (typeof error.code === 'number' ? error.code : `${error.code || ''} ${error.signal || ''}`) : 0;
      resolve({ code, stdout, stderr });
    });
  });
}

// node-soap turns a single child into an object and several into an array.
const list = (value) => (value === undefined ? [] : Array.isArray(value) ? value : [value]);

function checkRequest(failures, number, request, soap12, token) {
  const at = `request ${number}`;
  const attempt = (what, check) => {
    try {
      check();
    } catch (error) {
      failures.push(`${at}: ${what}: ${error.message.split('\n').join(' ')}`);
    }
  };
  attempt('UsernameToken', () => assert.equal(request.token, token));
  if (soap12) {
    attempt('action', () => assert.match(request.contentType, /^application\/soap\+xml;/));
    attempt('action', () => assert.ok(request.contentType.includes(`action="${SAVE_ACTION}"`), request.contentType));
  } else {
    attempt('SOAPAction', () => assert.equal(request.soapAction, `"${SAVE_ACTION}"`));
  }
  // The values the example client's buildRequest() puts in.
  const documents = list(request.args && request.args.savedObjects);
  attempt('savedObjects', () => assert.equal(documents.length, 1));
  const document = documents[0] || {};
  attempt('workInstructionFile',
          () => assert.equal(document.attributes && document.attributes.workInstructionFile, 'WI-4711/B/gearbox-housing.wix'));
  attempt('targetObject uid',
          () => assert.equal(document.targetObject && document.targetObject.attributes.uid, 'Op0010Gearbox'));
  const steps = list(document.modifiedDCDs);
  attempt('modifiedDCDs', () => assert.equal(steps.length, 1));
  const step = steps[0] || {};
  attempt('modifiedDCDs attributes', () => assert.deepEqual(
    { ...step.attributes }, { transientId: 'dcd-1', persistentId: 'Dcd0815Torque', owningObjectTransientId: 'stx-1' }));
  const data = step.objectData || {};
  attempt('objectData type', () => assert.equal(data.attributes && data.attributes.type, 'DataCollectionDefinition'));
  const props = list(data.doubleProps);
  attempt('doubleProps', () => assert.equal(props.length, 1));
  attempt('doubleProps[0]', () => {
    const prop = props[0] || { attributes: {} };
    assert.equal(prop.attributes.key, 'nominal_torque');
    // Typed by the schema as xs:double; compare as a number either way.
    assert.equal(Number(prop.attributes.value), 24.5);
  });
}

async function main() {
  const wsdlText = fs.readFileSync(wsdlPath, 'utf8');
  const server = http.createServer((req, res) => {
    res.statusCode = 404;
    res.end();
  });
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  // The base for the WSDL's schemaLocation: WorkInstructions.xsd lies beside it.
  let soapServer;
  const ready = new Promise((resolve, reject) => {
    soapServer = soap.listen(server, { path: '/WorkInstructions', services, xml: wsdlText, uri: path.resolve(wsdlPath),
                                       callback: (error) => (error ? reject(error) : resolve()) });
  });
  await ready;
  soapServer.authenticate = (security) => {
    lastToken = judgeToken(security);
    return lastToken === 'none' || lastToken === 'digest ok';
  };
  const { port } = server.address();
  console.log(`node-soap ${require('soap/package.json').version} serves the WSDL on 127.0.0.1:${port}`);
  const url = `http://127.0.0.1:${port}/WorkInstructions`;

  const failures = [];
  // One row per SOAP version: the client's options and the fault code node-soap sends in it.
  const versions = [{ name: 'SOAP 1.1', options: [], code: 'code soap:Server', token: 'none' },
                    { name: 'SOAP 1.2', options: ['--soap12'], code: 'code soap:Receiver/rpc:Locked', token: 'none' },
                    { name: 'SOAP 1.1 with a UsernameToken', options: ['--token-user', 'jdoe'], code: 'code soap:Server',
                      token: 'digest ok' }];
  const runs = [];
  try {
    for (const version of versions) {
      runs.push({ version, saved: await run(url, version.options), fault: await run(url, version.options) });
    }
  } finally {
    server.close();
  }

  const expected = [
    `Saved: ${values.created.length} created, ${values.updated.length} updated, ${values.deleted.length} deleted`,
    ...values.created.map((o) => `  created ${o.uid}`),
    ...values.updated.map((o) => `  updated ${o.uid}`),
    ...values.deleted.map((o) => `  deleted ${o.uid}`),
    ...values.partialErrors.map((e) => `  partial error ${e.code} on ${e.uid}: ${e.message}`),
  ];
  for (const { version, saved, fault } of runs) {
    const at = version.name;
    if (saved.code !== 0) failures.push(`${at}, the reply: exit ${saved.code}, stderr ${JSON.stringify(saved.stderr)}`);
    const lines = saved.stdout.split('\n');
    for (const line of expected) {
      if (!lines.includes(line)) {
        failures.push(`${at}, the reply: no line ${JSON.stringify(line)} in ${JSON.stringify(saved.stdout)}`);
      }
    }
    if (fault.code !== 2) failures.push(`${at}, the fault: exit ${fault.code}, expected 2; stderr ${JSON.stringify(fault.stderr)}`);
    for (const text of [version.code, `reason: ${FAULT_STRING}`, `detail: ${FAULT_DETAIL}`,
                        `detail element {${LOCK_NS}}lock: ${FAULT_DETAIL}`]) {
      if (!fault.stderr.includes(text)) {
        failures.push(`${at}, the fault: ${JSON.stringify(text)} not in ${JSON.stringify(fault.stderr)}`);
      }
    }
  }
  const calls = versions.length * 2;
  if (received.length !== calls) failures.push(`node-soap dispatched ${received.length} save calls, expected ${calls}`);
  received.forEach((request, number) => {
    const version = versions[Math.floor(number / 2)] || versions[0];
    checkRequest(failures, number, request, version.options.includes('--soap12'), version.token);
  });

  for (const failure of failures) console.log('FAIL:', failure);
  if (failures.length) {
    console.log('client output, first run:', JSON.stringify(runs[0].saved.stdout), 'request as node-soap read it:',
                JSON.stringify(received[0] && received[0].args));
    return 1;
  }
  console.log(`the client saved through node-soap (${expected.length} lines checked), read its fault, ` +
              'and node-soap read each request as sent, in both SOAP versions and with a UsernameToken digest');
  return 0;
}

main().then((status) => process.exit(status), (error) => {
  console.error('FAIL:', error && error.stack ? error.stack : error);
  process.exit(1);
});
