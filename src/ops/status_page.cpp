#include "ops/status_page.hpp"

namespace zentu::ops {

// Kept in one piece, inline, so the binary serves it with nothing to fetch or
// build; it reads only the API's documented fields.
std::string_view status_page_html() {
    static constexpr std::string_view page = R"html(<!doctype html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>marovane</title>
<style>
body { font-family: system-ui, sans-serif; margin: 0; padding: 0.8em; color: #222; background: #fafafa; }
h1 { font-size: 1.3em; margin: 0 0 0.4em 0; }
h2 { font-size: 1.1em; margin: 1em 0 0.3em 0; }
.cards { display: flex; flex-wrap: wrap; gap: 0.5em; }
.card { background: #fff; border: 1px solid #ddd; border-radius: 6px; padding: 0.5em 0.8em; min-width: 12em; flex: 1; }
.card b { display: block; font-size: 0.8em; color: #666; font-weight: normal; }
.ok { color: #176b2c; } .bad { color: #b00020; font-weight: bold; }
.scroll { overflow-x: auto; }
table { border-collapse: collapse; width: 100%; background: #fff; font-size: 0.9em; }
th, td { border-bottom: 1px solid #e4e4e4; padding: 0.3em 0.5em; text-align: left; white-space: nowrap; }
th { background: #f0f0f0; }
tr.undelivered td { background: #ffe9e9; }
form { display: flex; gap: 0.4em; flex-wrap: wrap; }
input { flex: 1; min-width: 10em; font-size: 1em; padding: 0.3em; }
button { font-size: 1em; }
#explanation p { margin: 0.3em 0; }
.muted { color: #777; font-size: 0.85em; }
</style>
</head>
<body>
<h1>marovane <span id="version" class="muted"></span></h1>
<div class="cards">
  <div class="card"><b>health</b><span id="health">…</span></div>
  <div class="card"><b>message stream</b><span id="stream">…</span></div>
  <div class="card"><b>platform</b><span id="platform">…</span></div>
  <div class="card"><b>counts</b><span id="counts">…</span></div>
  <div class="card"><b>Redis mirror</b><span id="mirror">…</span></div>
</div>
<h2>Open alarms</h2>
<div class="scroll"><table id="alarms">
<thead><tr><th>object</th><th>zone</th><th>kind</th><th>level</th><th>wanted</th><th>confirmed</th><th>state</th><th>attempts</th><th>last failure</th><th>since</th><th>next send</th></tr></thead>
<tbody></tbody></table></div>
<p id="alarms-count" class="muted"></p>
<h2>Explain an object</h2>
<form id="search"><input id="uid" placeholder="object uid" autocomplete="off"><button>Explain</button></form>
<div id="explanation"></div>
<p class="muted">Refreshed every 5 s; <span id="refreshed"></span></p>
<script>
"use strict";
function text(v) { return v === null || v === undefined ? "-" : String(v); }
function cell(row, v) { const td = document.createElement("td"); td.textContent = text(v); row.appendChild(td); }
function set(id, v, good) {
  const el = document.getElementById(id);
  el.textContent = v;
  el.className = good === undefined ? "" : (good ? "ok" : "bad");
}
async function get(path) {
  const r = await fetch(path, {cache: "no-store"});
  const body = await r.json();
  if (!r.ok) throw new Error(body.error || ("status " + r.status));
  return body;
}
function showStatus(s) {
  set("version", s.version);
  set("health", s.health.ok ? "ok" : "not ok: " + s.health.reason, s.health.ok);
  set("stream", (s.stream.connected ? "connected" : "disconnected") + ", last message " +
      (s.stream.seconds_since_last_message === null ? "never" : Math.round(s.stream.seconds_since_last_message) + " s ago"),
      s.stream.connected);
  const p = s.platform, last = p.last_rebuild;
  set("platform", "loaded " + p.last_successful_load +
      (last ? "; last rebuild " + last.at + (last.ok ? " ok" : " failed: " + last.failure) : "") +
      (p.rebuilding ? "; rebuilding" : ""), !last || last.ok);
  const c = s.counts;
  set("counts", c.objects + " objects, " + c.zones + " zones, " + c.open_alarms + " open alarms, " +
      c.undelivered_alarms + " undelivered", c.undelivered_alarms === 0);
  set("mirror", s.redis_mirror.up ? "up" : "down", s.redis_mirror.up);
}
function showAlarms(list) {
  const undelivered = a => a.undelivered_since !== null;
  list.sort((a, b) => (undelivered(b) - undelivered(a)) || a.uid.localeCompare(b.uid));
  const body = document.querySelector("#alarms tbody");
  body.textContent = "";
  for (const a of list) {
    const row = document.createElement("tr");
    if (undelivered(a)) row.className = "undelivered";
    for (const v of [a.object, a.zone, a.kind, a.level, a.wanted, a.confirmed[a.kind],
                     a.state + (a.in_flight ? " (sending)" : ""), a.attempts, a.last_failure, a.since, a.next_send])
      cell(row, v);
    body.appendChild(row);
  }
  const n = list.filter(undelivered).length;
  set("alarms-count", list.length + (list.length === 1 ? " alarm" : " alarms") + (n ? ", " + n + " undelivered (first, highlighted)" : ""));
}
function paragraph(parent, v, cls) {
  const p = document.createElement("p"); p.textContent = v; if (cls) p.className = cls; parent.appendChild(p);
}
function table(parent, header, rows) {
  const wrap = document.createElement("div"); wrap.className = "scroll";
  const t = document.createElement("table"), head = document.createElement("tr");
  for (const h of header) { const th = document.createElement("th"); th.textContent = h; head.appendChild(th); }
  t.appendChild(head);
  for (const r of rows) { const row = document.createElement("tr"); for (const v of r) cell(row, v); t.appendChild(row); }
  wrap.appendChild(t); parent.appendChild(wrap);
}
function showExplanation(e) {
  const out = document.getElementById("explanation");
  out.textContent = "";
  const o = e.object;
  paragraph(out, o.uid + " — project " + o.project + ", MAC " + text(o.mac_address) + ", " +
            (o.responsive ? "responsive" : "unresponsive") + ", groups " + (o.groups.join(", ") || "-") +
            ", sublocation " + text(o.sublocation));
  const last = e.last_zone_event;
  paragraph(out, "last zone event: " + (last ? last.action + " " + last.zone + " at " + last.at : "-"), "muted");
  paragraph(out, "keep-in: " + e.keep_in);
  paragraph(out, "keep-out: " + e.keep_out);
  table(out, ["keep-in zone", "active", "rule", "position", "from"],
        e.keep_in_zones.map(z => [z.name, z.active ? "yes" : "no", z.verdict,
                                  z.position_known ? z.position : "unknown (" + z.position + ")", z.position_from]));
  if (e.keep_out_zones.length)
    table(out, ["keep-out zone", "since", "rule"], e.keep_out_zones.map(z => [z.name, z.since, z.verdict]));
  if (e.alarms.length)
    table(out, ["alarm zone", "kind", "wanted", "held", "why"],
          e.alarms.map(a => [a.zone_name, a.kind, a.wanted ? "yes" : "no", a.held, a.why]));
}
async function explain(uid) {
  const out = document.getElementById("explanation");
  try { showExplanation(await get("/v1/objects/" + encodeURIComponent(uid))); }
  catch (err) { out.textContent = ""; paragraph(out, String(err.message), "bad"); }
}
async function refresh() {
  try {
    showStatus(await get("/v1/status"));
    showAlarms((await get("/v1/alarms")).alarms);
    set("refreshed", "last at " + new Date().toLocaleTimeString());
  } catch (err) {
    set("refreshed", "the service did not answer: " + err.message, false);
  }
}
document.getElementById("search").addEventListener("submit", ev => {
  ev.preventDefault();
  const uid = document.getElementById("uid").value.trim();
  if (uid) { history.replaceState(null, "", "#" + encodeURIComponent(uid)); explain(uid); }
});
if (location.hash.length > 1) {
  const uid = decodeURIComponent(location.hash.slice(1));
  document.getElementById("uid").value = uid;
  explain(uid);
}
refresh();
setInterval(refresh, 5000);
</script>
</body>
</html>
)html";
    return page;
}

}  // namespace zentu::ops
