// The page's script: reads the fields (or the address's query string) as the
// plan program's options, asks the library compiled into this page
// (createQueuecalc, web/page_api.h) and shows its answer. Nothing is fetched.
"use strict";
(function () {
  const $ = (id) => document.getElementById(id);

  // The query string's names (the Python module's keywords) and the
  // program's options they stand for. patience and the room are composed
  // from more than one control.
  const OPTIONS = {
    interval_minutes: "--interval-minutes", sl: "--sl", max_abandon: "--max-abandon", max_asa: "--max-asa",
    max_occupancy: "--max-occupancy", shrinkage: "--shrinkage", patience: "--patience",
    patience_mean: "--patience-mean", lines: "--lines", waiting_places: "--waiting-places", model: "--model",
    method: "--method",
  };
  const KNOWN = ["calls", "aht"].concat(Object.keys(OPTIONS));
  // The program's defaults: left out of the link.
  const DEFAULTS = { interval_minutes: "30", sl: "80/20", shrinkage: "30", model: "exact", patience: "none" };
  const TEXT_FIELDS = ["calls", "interval_minutes", "aht", "patience_mean", "sl", "max_abandon", "max_asa",
    "max_occupancy", "shrinkage"];
  // The answers, by the plan table's column.
  const ANSWERS = { agents: "agents", scheduled: "scheduled", places: "waiting places", asa: "ASA (s)",
    abandonment: "abandonment (%)", occupancy: "occupancy (%)", loss: "P(Loss)", bound: "SL bound",
    load: "load (Erlangs)" };
  const EMPTY = "\u2014";  // a value that does not exist (an empty cell of the plan)

  let lib = null;
  let conflict = "";  // both lines and waiting_places in the link

  function value(name) { return $("f_" + name).value; }

  // The patience as the program's option value, or "none".
  function patienceText() {
    const shape = value("patience");
    if (shape === "erlang") return "erlang:" + value("patience_phases").trim();
    if (shape === "lognormal") {
      const cv = value("patience_cv").trim();
      return cv === "" ? "lognormal" : "lognormal:" + cv;
    }
    return shape;
  }

  // The scenario as query-string names and values (the link's content).
  function scenario() {
    const s = {};
    for (const name of TEXT_FIELDS) s[name] = value(name).trim();
    s.patience = patienceText();
    if (s.patience === "none") delete s.patience_mean;
    const room = value("room");
    if (room !== "automatic") s[room] = value("room_count").trim();
    s.model = value("model");
    if (s.model === "chain" && value("method") !== "") s.method = value("method");
    return s;
  }

  // The program's options, one per line, and the page's own findings
  // (values the program would read in a way the planner does not mean). A
  // day may take its mean patience from the forecast's patience column.
  function options(s, problems, day) {
    const words = [];
    for (const name of Object.keys(OPTIONS)) {
      if (!(name in s)) continue;
      const text = s[name];
      if (name === "patience" && text === "none") continue;  // the program's default: nobody hangs up
      if (/[\r\n]/.test(text)) { problems[name] = "one line, please"; continue; }
      if (text === "") {
        if (name === "sl") problems.sl = "write PER CENT/SECONDS, such as 80/20, or none";
        else if (name === "patience_mean" && !day) problems.patience_mean = "give the mean patience in seconds, or choose none";
        else if (name === "lines" || name === "waiting_places") problems[name] = "give a whole number";
        else if (name === "interval_minutes") problems[name] = "give the interval's length in minutes";
        continue;  // an empty limit: no limit; an empty shrinkage: the program's 30 %
      }
      words.push(OPTIONS[name], text);
    }
    return words.join("\n");
  }

  // Where a message about a name is shown.
  function messageSlot(name) {
    if (name === "patience") {
      const shape = value("patience");
      if (shape === "erlang") return "patience_phases";
      if (shape === "lognormal") return "patience_cv";
    }
    if (name === "lines" || name === "waiting_places") return "room_count";
    return name;
  }

  function clearMessages() {
    for (const e of document.querySelectorAll("#inputs .error")) e.textContent = "";
    for (const e of document.querySelectorAll("#inputs [aria-invalid]")) e.removeAttribute("aria-invalid");
  }

  function showField(name, text) {
    const slot = messageSlot(name);
    const control = $("f_" + slot);
    const target = $("f_" + slot + "_error");
    if (!target) return false;
    target.textContent = (target.textContent ? target.textContent + "; " : "") + text;
    if (control) control.setAttribute("aria-invalid", "true");
    return true;
  }

  function clearAnswers(reason) {
    for (const id of Object.keys(ANSWERS).concat(["sl"])) $(id).textContent = EMPTY;
    $("status").textContent = reason;
    $("note").textContent = "";
    $("charts").textContent = "";
  }

  function writeLink(s) {
    const q = new URLSearchParams();
    for (const name of KNOWN) {
      if (!(name in s) || s[name] === "") continue;
      if (DEFAULTS[name] === s[name] && name !== "model") continue;
      if (name === "model" && s.model === "exact") continue;
      q.set(name, s[name]);
    }
    const search = "?" + q.toString();
    $("scenario_link").href = search;
    if (location.search !== search) {
      try { history.replaceState(null, "", search); } catch (e) { /* a page opened where the address cannot change */ }
    }
  }

  // One interval: read, ask, show. Runs on every change of a field.
  function update() {
    const s = scenario();
    writeLink(s);
    clearMessages();
    $("message").textContent = "";
    const problems = {};
    const opts = options(s, problems);
    if (conflict) problems.room = conflict;
    if (!lib) return;
    const answer = JSON.parse(lib.interval(s.calls, s.aht, opts));
    let bad = false;
    for (const [name, text] of Object.entries(Object.assign({}, answer.fields, problems))) {
      bad = true;
      if (!showField(name, text)) $("message").textContent = text;
    }
    if (answer.message) {
      bad = true;
      $("message").textContent = answer.message;
    }
    if (bad || !answer.row) {
      clearAnswers("No answer until the marked input is mended.");
      return;
    }
    const cell = (column) => {
      const i = answer.header.indexOf(column);
      return i < 0 ? "" : answer.row[i];
    };
    for (const [id, column] of Object.entries(ANSWERS)) $(id).textContent = cell(column) || EMPTY;
    const slColumn = answer.header.find((h) => /^SL .* \(%\)$/.test(h));
    $("sl").textContent = cell(slColumn) || EMPTY;
    $("sl_title").textContent = "Service level (" + slColumn.replace(/ \(%\)$/, "").replace(/^SL /, "answered within ") + ")";
    const note = cell("note");
    const words = {
      "planned": "Every target met with " + cell("agents") + " agents.",
      "no calls": "No calls: no agents needed.",
      "no staffing": "No agent count meets every target (see the note).",
    };
    $("status").textContent = words[answer.outcome] || "";
    $("note").textContent = note ? "Note: " + note : "";
    $("charts").innerHTML = answer.charts.map((svg) => "<figure>" + svg + "</figure>").join("");
  }

  // ---- The query string ---------------------------------------------------

  // A value no option of the select stands for becomes one, sent as it is,
  // so that the program's message about it shows beside the control.
  function setSelect(name, text) {
    const select = $("f_" + name);
    if (![...select.options].some((o) => o.value === text)) {
      const o = document.createElement("option");
      o.value = text;
      o.textContent = text + " (not understood)";
      select.appendChild(o);
    }
    select.value = text;
  }

  function readLink() {
    const q = new URLSearchParams(location.search);
    const unknown = [];
    for (const name of q.keys()) if (!KNOWN.includes(name) && !unknown.includes(name)) unknown.push(name);
    if (unknown.length)
      $("query_message").textContent = "The link has names this page does not know, left aside: " + unknown.join(", ") +
        " (known: " + KNOWN.join(", ") + ").";
    for (const name of TEXT_FIELDS) if (q.has(name)) $("f_" + name).value = q.get(name);
    if (q.has("patience")) {
      const text = q.get("patience");
      const colon = text.indexOf(":");
      const shape = colon < 0 ? text : text.slice(0, colon);
      const parameter = colon < 0 ? "" : text.slice(colon + 1);
      if (shape === "erlang") { setSelect("patience", "erlang"); $("f_patience_phases").value = parameter; }
      else if (shape === "lognormal") { setSelect("patience", "lognormal"); $("f_patience_cv").value = colon < 0 ? "1" : parameter; }
      else setSelect("patience", text);
    } else if (q.has("patience_mean")) {
      setSelect("patience", "exponential");  // the program's shape when only a mean is given
    }
    if (q.has("lines") && q.has("waiting_places"))
      conflict = "the link gives both lines and waiting_places: keep one";
    if (q.has("waiting_places")) { setSelect("room", "waiting_places"); $("f_room_count").value = q.get("waiting_places"); }
    if (q.has("lines")) { setSelect("room", "lines"); $("f_room_count").value = q.get("lines"); }
    if (q.has("model")) setSelect("model", q.get("model"));
    if (q.has("method")) setSelect("method", q.get("method"));
  }

  // Controls shown only where they apply.
  function arrange() {
    const shape = value("patience");
    $("phases_field").hidden = shape !== "erlang";
    $("cv_field").hidden = shape !== "lognormal";
    $("f_patience_mean").disabled = shape === "none";
    const room = value("room");
    $("room_count_field").hidden = room === "automatic";
    $("f_room_count_label").textContent = room === "lines" ? "Lines in all (agents and waiting)" : "Waiting places";
    $("method_field").hidden = value("model") !== "chain";
  }

  // ---- A day ----------------------------------------------------------------

  let forecastName = "forecast.csv";

  // The settings' own messages stand beside their fields already (update).
  function planDay() {
    if (!lib) return;
    const problems = {};
    const opts = options(scenario(), problems, true);
    $("day_message").textContent = "";
    $("day_result").hidden = true;
    $("day_stale").hidden = true;
    const answer = JSON.parse(lib.day($("forecast").value, forecastName, opts));
    const fields = Object.assign({}, answer.fields, problems);
    if (Object.keys(fields).length || answer.status === 2) {
      $("day_message").textContent = answer.message ||
        "The settings above have a marked value to mend before the day can be planned.";
      return;
    }
    $("day_download").href = "data:text/csv;charset=utf-8," + encodeURIComponent(answer.csv);
    $("day_download").download = forecastName.replace(/\.[^.]*$/, "") + "-plan.csv";
    const readings = answer.readings.join("; ");
    $("day_summary").textContent = (readings ? readings[0].toUpperCase() + readings.slice(1) + ". " : "") +
      "The plan of " + answer.intervals + " intervals:";
    // The program's report, without its own title: its charts, plan and notes.
    const report = new DOMParser().parseFromString(answer.report, "text/html");
    const host = $("day_report");
    host.textContent = "";
    for (const node of [...report.body.childNodes]) {
      if (node.nodeName === "H1") continue;
      host.appendChild(document.importNode(node, true));
    }
    for (const h of host.querySelectorAll("h2")) {
      const h3 = document.createElement("h3");
      h3.innerHTML = h.innerHTML;
      h.replaceWith(h3);
    }
    $("day_result").hidden = false;
  }

  // ---- Start ----------------------------------------------------------------

  readLink();
  arrange();
  $("inputs").addEventListener("input", () => { arrange(); update(); });
  $("inputs").addEventListener("change", () => { arrange(); update(); });
  $("inputs").addEventListener("submit", (e) => e.preventDefault());
  $("f_room").addEventListener("change", () => { conflict = ""; });
  $("inputs").addEventListener("input", () => { $("day_stale").hidden = $("day_result").hidden; });
  $("plan_day").addEventListener("click", planDay);
  $("example_day").addEventListener("click", () => {
    $("forecast").value = $("example_forecast").textContent.trim() + "\n";
    forecastName = "example-day.csv";
    planDay();
  });
  $("forecast").addEventListener("input", () => { forecastName = "forecast.csv"; });
  $("forecast_file").addEventListener("change", (e) => {
    const file = e.target.files[0];
    if (!file) return;
    const reader = new FileReader();
    reader.onload = () => {
      $("forecast").value = reader.result;
      forecastName = file.name;
      planDay();
    };
    reader.readAsText(file);
  });

  createQueuecalc().then((module) => {
    lib = module;
    $("loading").hidden = true;
    update();
    document.documentElement.dataset.state = "ready";
  }, (error) => {
    $("loading").textContent = "The calculator could not start in this browser: " + error;
  });
})();
