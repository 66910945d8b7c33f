-- wrk script for the web host's load check. LOAD_MODE picks the requests:
--   unique  each request another EAN-13 (12 data digits from the thread and a counter),
--           in LOAD_FORMAT (PNG or BMP)
--   fixed   LOAD_PATH on every request
-- and done() prints one line: "result RATE P50_US P99_US ERRORS NON2XX REQUESTS MAX_US".
local mode = os.getenv("LOAD_MODE") or "fixed"
local format = os.getenv("LOAD_FORMAT") or "PNG"
local path = os.getenv("LOAD_PATH") or "/"

local threads = 0
function setup(thread)
  thread:set("first", threads * 100000000000)
  threads = threads + 1
end

local counter = 0
function request()
  if mode ~= "unique" then
    return wrk.format("GET", path)
  end
  counter = counter + 1
  local data = string.format("%012d", (first or 0) + counter)
  return wrk.format("GET", "/barcode?BarcodeType=14&Data=" .. data ..
    "&Checksum=true&ShowText=true&NarrowBarWidth=2&Height=80&ImageTypeStr=" .. format)
end

function done(summary, latency, requests)
  local errors = summary.errors.connect + summary.errors.read + summary.errors.write +
    summary.errors.timeout
  io.write(string.format("result %.0f %d %d %d %d %d %d\n",
    summary.requests / (summary.duration / 1e6), latency:percentile(50),
    latency:percentile(99), errors, summary.errors.status, summary.requests, latency.max))
end
