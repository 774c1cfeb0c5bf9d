'use strict';
// The status page: the main window's rows, the calibration, the model terms,
// the automatic run, the observation list and the pictures, polled once a
// second.
(() => {
  const $ = (id) => document.getElementById(id);
  let selected = -1;
  let listKey = '';
  function fillRow(id, r) {
    const cells = $(id).querySelectorAll('td');
    [r.ra, r.dec, r.alt, r.az].forEach((v, i) => { cells[i].textContent = v; });
  }
  function render(s) {
    document.body.classList.toggle('night', s.night);
    $('night').checked = s.night;
    $('driver').textContent = 'Driver: ' + (s.driverName || s.driver || 'None selected');
    $('connection').textContent = s.connected ? 'Connected, ' + s.connections + ' connection(s)' : 'Not connected';
    $('siteWarning').textContent = s.siteWarning;
    fillRow('row-scope', s.scope); fillRow('row-corr', s.corr); fillRow('row-target', s.target);
    $('lst').textContent = s.lst; $('pier').textContent = s.pierSide;
    $('slewing').textContent = s.slewing ? 'Slewing' : 'Not slewing';
    $('status').textContent = s.status;
    $('calStatus').textContent = (s.calibrating ? 'Calibrating. ' : '') + s.calStatus;
    const terms = $('terms').tBodies[0];
    terms.replaceChildren(...s.terms.map((t) => {
      const tr = document.createElement('tr');
      for (const v of [t.name, t.value, t.stdError]) {
        const td = document.createElement(v === t.name ? 'th' : 'td'); td.textContent = v; tr.appendChild(td);
      }
      return tr;
    }));
    const f = s.fit;
    $('fit').textContent = [f.used, f.rms, f.psd, f.eastWest, f.warnings].filter((x) => x).join(' · ');
    const o = s.observations;
    $('headings').textContent = o.headings;
    // Rebuilt only when it changed, so a click is not lost to the refresh.
    const key = JSON.stringify(o.lines);
    if (key !== listKey) {
      listKey = key;
      $('observations').replaceChildren(...o.lines.map((l, i) => {
        const li = document.createElement('li');
        li.title = l.tip; li.className = l.outlier ? 'outlier' : '';
        const box = document.createElement('input');
        box.type = 'checkbox'; box.checked = l.use; box.dataset.line = i;
        box.addEventListener('change', () => act('use', {line: i, use: box.checked}));
        const label = document.createElement('label');
        label.append(box, ' ' + l.text);
        li.append(label);
        li.addEventListener('click', () => { selected = i; markSelected(); });
        return li;
      }));
      markSelected();
    }
    $('remove').disabled = !o.remove; $('undo').disabled = !o.undo;
    $('update').disabled = !o.update; $('save').disabled = !o.save; $('open').disabled = !o.open;
    renderAutoCal(s.autocal);
    Console.draw($('plot'), s.plot);
    Console.draw($('map'), s.map);
    document.body.dataset.refreshed = String(Date.now());
  }
  // A box being typed in keeps what the user typed until it is sent.
  function fillBox(box, text) {
    if (document.activeElement !== box && box.value !== text) box.value = text;
  }
  function renderAutoCal(a) {
    $('autocal').hidden = !a;
    if (!a) return;
    $('acStart').disabled = !a.start; $('acStop').disabled = !a.stop; $('acResume').disabled = !a.resume;
    const accuracy = $('acAccuracy');
    if (accuracy.options.length !== a.accuracyItems.length) {
      accuracy.replaceChildren(...a.accuracyItems.map((t, i) => new Option(t, String(i))));
    }
    if (document.activeElement !== accuracy) accuracy.value = String(a.accuracy);
    fillBox($('acExposure'), a.exposure); fillBox($('acBin'), a.bin);
    $('acBinLabel').textContent = a.binLabel;
    const bar = $('acProgress');
    bar.max = a.progressMax; bar.value = a.progress;
    bar.classList.toggle('idle', !a.progressEnabled);
    $('acPoint').textContent = a.progress + ' / ' + a.progressMax;
    $('acCalStatus').textContent = a.calStatus; $('acStarfixStatus').textContent = a.starfixStatus;
    $('acCameraStatus').textContent = a.cameraStatus; $('acTimeLeft').textContent = a.timeLeft;
    $('acNote').textContent = a.calibrating ? ''
      : 'Start needs a calibration in progress: start one in the main window or from a script.';
    $('acError').textContent = a.lastError ? 'Last error: ' + a.lastError : '';
  }
  async function autoCal(name, fields) {
    const r = await Console.post('autocal-' + name, fields || {});
    Console.show(r.messages, 'acMessages');
    if (r.status) render(r.status);
  }
  function markSelected() {
    [...$('observations').children].forEach((li, i) => { li.style.textDecoration = i === selected ? 'underline' : ''; });
  }
  async function act(name, fields) {
    let r = await Console.post(name, fields);
    // A question the window would ask: asked here, then done when confirmed.
    if (!r.ok && r.messages.length && (name === 'open') && confirm(r.messages.join('\n'))) {
      r = await Console.post(name, Object.assign({confirm: 'true'}, fields));
    }
    Console.show(r.messages);
    if (r.status) render(r.status);
  }
  $('remove').addEventListener('click', () => act('remove', {line: selected}));
  $('undo').addEventListener('click', () => act('undo', {}));
  $('update').addEventListener('click', () => act('update', {}));
  $('open').addEventListener('click', () => act('open', {name: $('fileName').value}));
  $('save').addEventListener('click', () => act('save', {name: $('fileName').value}));
  $('acStart').addEventListener('click', () => autoCal('start'));
  $('acStop').addEventListener('click', () => autoCal('stop'));
  $('acResume').addEventListener('click', () => autoCal('resume'));
  $('acAccuracy').addEventListener('change', () => autoCal('settings', {name: 'Accuracy', value: $('acAccuracy').value}));
  $('acExposure').addEventListener('change', () => autoCal('settings', {name: 'Exposure', value: $('acExposure').value}));
  $('acBin').addEventListener('change', () => autoCal('settings', {name: 'Bin', value: $('acBin').value}));
  $('night').addEventListener('change', () => act('night', {on: $('night').checked}));
  async function poll() {
    try { render(await Console.get('status')); } catch (e) { $('connection').textContent = 'No answer from Celaris: ' + e.message; }
    setTimeout(poll, 1000);
  }
  poll();
})();
