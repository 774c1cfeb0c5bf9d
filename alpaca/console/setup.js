'use strict';
// The setup page: the setup window's boxes, checked and applied by the
// program with the window's own rules when OK is pressed.
(() => {
  const $ = (id) => document.getElementById(id);
  const form = $('setup');
  const texts = ['txtFlipLimitE', 'txtFlipLimitW', 'txtDeclimit', 'txtAltLimit', 'txtBacklash', 'txtSlewPause', 'txtPollInterval'];
  const ticks = ['German', 'chkEnforce', 'chkAntiBacklash', 'chkFirstSlewPause', 'chkJ2000'];
  function fill(s) {
    s.SiteParam.forEach((v, i) => { form.elements['SiteParam' + i].value = v; });
    for (const t of texts) form.elements[t].value = s[t];
    for (const t of ticks) form.elements[t].checked = s[t];
    enable();
    $('choose').textContent = s.ChooseButton;
    $('driver').replaceChildren(...s.drivers.map((d) => {
      const o = document.createElement('option'); o.value = d.id; o.textContent = d.name + ' (' + d.id + ')';
      o.selected = d.id === s.scope; return o;
    }));
    $('driver').disabled = s.connected;
    const boxes = $('horizonBoxes');
    if (!boxes.children.length) {
      for (let k = 0; k < 16; ++k) {
        const l = document.createElement('label'); const i = document.createElement('input');
        i.name = 'txtHorizon' + k; l.append((k * 22.5).toFixed(1) + '° ', i); boxes.append(l);
      }
    }
    s.txtHorizon.forEach((v, k) => { $('horizon').elements['txtHorizon' + k].value = v; });
  }
  // The boxes a check box enables, as in the window.
  function enable() {
    const g = form.elements.German.checked; const ab = form.elements.chkAntiBacklash.checked;
    form.elements.txtFlipLimitE.disabled = !g; form.elements.txtFlipLimitW.disabled = !g;
    form.elements.txtBacklash.disabled = !ab; form.elements.chkFirstSlewPause.disabled = !ab;
  }
  form.elements.German.addEventListener('change', enable);
  form.elements.chkAntiBacklash.addEventListener('change', enable);
  async function act(name, fields, refill) {
    const r = await Console.post(name, fields);
    Console.show(r.ok && !r.messages.length ? ['Applied.'] : r.messages);
    if (r.setup && refill) fill(r.setup);
    return r;
  }
  form.addEventListener('submit', (e) => {
    e.preventDefault();
    const f = {};
    for (let i = 0; i < 4; ++i) f['SiteParam' + i] = form.elements['SiteParam' + i].value;
    for (const t of texts) f[t] = form.elements[t].value;
    for (const t of ticks) f[t] = form.elements[t].checked ? 'true' : 'false';
    act('setup', f, false);
  });
  $('cancel').addEventListener('click', async () => fill(await Console.get('setup')));
  $('fromMount').addEventListener('click', async () => {
    const r = await Console.post('frommount', {});
    Console.show(r.messages);
    if (r.ok) { form.elements.SiteParam0.value = r.setup.SiteParam[0]; form.elements.SiteParam1.value = r.setup.SiteParam[1]; }
  });
  $('choose').addEventListener('click', () => act('choose', {driver: $('driver').value}, true));
  $('discover').addEventListener('click', () => act('discover', {}, true));
  $('horizon').addEventListener('submit', (e) => {
    e.preventDefault();
    act('horizon', Object.fromEntries(new FormData($('horizon'))), true);
  });
  $('horizonReset').addEventListener('click', async () => {
    const r = await Console.post('horizon-reset', {});
    r.setup.txtHorizon.forEach((v, k) => { $('horizon').elements['txtHorizon' + k].value = v; });
  });
  Console.get('setup').then(fill).catch((e) => Console.show([e.message]));
})();
