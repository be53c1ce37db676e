#!/usr/bin/env bash
# Installs node-soap into the build directory once, then runs a node script
# that uses it (node_soap_peer.js, node_soap_client.js).
#
#   node_soap.sh BUILD_DIR SCRIPT [ARGS...]
#
# Without node or npm the test fails: a missing peer must not pass unnoticed.
set -euo pipefail

if [ $# -lt 2 ]; then
  echo "usage: node_soap.sh BUILD_DIR SCRIPT [ARGS...]" >&2
  exit 1
fi
build_dir=$1 script=$2
shift 2

# Pinned, so that a new release cannot change what the peer writes or accepts.
version=1.13.0
mkdir -p "$build_dir"
prefix=$(cd "$build_dir" && pwd)/node-soap
for tool in node npm; do
  if ! command -v "$tool" >/dev/null; then
    echo "FAIL: $tool is missing (Debian packages nodejs and npm; scripts/install-deps installs them)" >&2
    exit 1
  fi
done

installed=$(SOAP_PREFIX=$prefix node -p \
  "try { require(process.env.SOAP_PREFIX + '/node_modules/soap/package.json').version } catch (e) { '' }")
if [ "$installed" != "$version" ]; then
  echo "installing soap@$version into $prefix"
  mkdir -p "$prefix"
  if ! npm install --prefix "$prefix" --no-audit --no-fund --no-save --ignore-scripts "soap@$version"; then
    echo "FAIL: npm could not install soap@$version into $prefix" >&2
    exit 1
  fi
fi

NODE_PATH=$prefix/node_modules exec node "$script" "$@"
