-- wrk script: GetValidaIdade on the sample, cycling through ages so that
-- both found and free keys are asked. The token comes from TRP_BENCH_TOKEN.
-- JSON-RPC failures answer 200 too, so scripts/bench-server checks one call
-- by hand before the run.
local token = os.getenv("TRP_BENCH_TOKEN") or "bench-token"
wrk.method = "POST"
wrk.path = "/Qel53600.rdmTabRelPeso"
wrk.headers["Content-Type"] = "application/json"
wrk.headers["Authorization"] = "Bearer " .. token

local n = 0
request = function()
  n = n + 1
  local years = n % 25
  local months = n % 12
  local body = string.format(
    '{"jsonrpc":"2.0","id":%d,"method":"GetValidaIdade","params":["01","050",%d,%d]}',
    n, years, months)
  return wrk.format(nil, nil, nil, body)
end

-- Failed calls would show up as non-2xx counts in wrk's own summary.
done = function(summary, latency, requests)
  io.write(string.format("GetValidaIdade: %.0f requests/s, p50 %.2f ms, p99 %.2f ms\n",
    summary.requests / (summary.duration / 1e6),
    latency:percentile(50) / 1000, latency:percentile(99) / 1000))
end
