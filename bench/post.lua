-- wrk script of bench/load, soak and faults: POSTs one request over and over.
--   KVSOA_BODY     file holding the request body
--   KVSOA_TYPE     its content type
--   KVSOA_ACTION   the SOAPAction header (none when empty)
--   KVSOA_EXPECT   file holding the reply every answer must equal, byte for
--                  byte (optional: without it the answers are not looked at)
--   KVSOA_LIMIT    with KVSOA_EXPECT, replies each thread checks before it stops
-- done() prints one JSON line: requests, seconds, errors, p50/p99 in µs, and
-- with KVSOA_EXPECT the replies checked and those that differed.

local function slurp(path)
  local file = assert(io.open(path, "rb"))
  local text = file:read("*a")
  file:close()
  return text
end

wrk.method = "POST"
wrk.body = slurp(os.getenv("KVSOA_BODY"))
wrk.headers["Content-Type"] = os.getenv("KVSOA_TYPE") or "text/xml; charset=utf-8"
local action = os.getenv("KVSOA_ACTION") or ""
if action ~= "" then wrk.headers["SOAPAction"] = '"' .. action .. '"' end

local threads = {}
function setup(thread)
  table.insert(threads, thread)
end

local expect_path = os.getenv("KVSOA_EXPECT") or ""
if expect_path ~= "" then
  local expected = slurp(expect_path)
  local limit = tonumber(os.getenv("KVSOA_LIMIT") or "0")
  checked, differed = 0, 0
  function response(status, headers, body)
    checked = checked + 1
    if status ~= 200 or body ~= expected then differed = differed + 1 end
    if limit > 0 and checked >= limit then wrk.thread:stop() end
  end
end

function done(summary, latency, requests)
  local checked_all, differed_all = 0, 0
  for _, thread in ipairs(threads) do
    checked_all = checked_all + (thread:get("checked") or 0)
    differed_all = differed_all + (thread:get("differed") or 0)
  end
  local e = summary.errors
  io.write(string.format(
    '{"requests": %d, "seconds": %.3f, "connect": %d, "read": %d, "write": %d, "status": %d, "timeout": %d, ' ..
    '"p50_us": %d, "p99_us": %d, "max_us": %d, "checked": %d, "differed": %d}\n',
    summary.requests, summary.duration / 1e6, e.connect, e.read, e.write, e.status, e.timeout,
    latency:percentile(50), latency:percentile(99), latency.max, checked_all, differed_all))
end
