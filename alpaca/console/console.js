'use strict';
// What both pages share: the console's requests, its messages and the
// drawing of the shapes the windows paint.
const Console = {
  async get(name) {
    const r = await fetch('/setup/console/api/' + name, {cache: 'no-store'});
    if (!r.ok) throw new Error(await r.text());
    return r.json();
  },
  async post(name, fields) {
    const r = await fetch('/setup/console/api/' + name, {method: 'POST', body: new URLSearchParams(fields)});
    if (!r.ok) { const text = await r.text(); return {ok: false, messages: [text]}; }
    return r.json();
  },
  show(messages, box) {
    document.getElementById(box || 'messages').textContent = (messages || []).join('\n');
  },
  // An SVG of a drawing: lines, circles, discs and texts in pixels.
  draw(box, d) {
    const ns = 'http://www.w3.org/2000/svg';
    const svg = document.createElementNS(ns, 'svg');
    svg.setAttribute('viewBox', '0 0 ' + d.w + ' ' + d.h);
    const bg = document.createElementNS(ns, 'rect');
    bg.setAttribute('width', d.w); bg.setAttribute('height', d.h); bg.setAttribute('fill', d.bg);
    svg.appendChild(bg);
    const anchors = {tl: ['start', 'hanging'], tc: ['middle', 'hanging'], tr: ['end', 'hanging'],
      ml: ['start', 'middle'], bl: ['start', 'auto'], bc: ['middle', 'auto'], br: ['end', 'auto']};
    for (const s of d.shapes) {
      let e;
      if (s.k === 'line') {
        e = document.createElementNS(ns, 'line');
        e.setAttribute('x1', s.x); e.setAttribute('y1', s.y); e.setAttribute('x2', s.x2); e.setAttribute('y2', s.y2);
        e.setAttribute('stroke', s.c); e.setAttribute('stroke-width', s.w);
      } else if (s.k === 'text') {
        e = document.createElementNS(ns, 'text');
        e.setAttribute('x', s.x); e.setAttribute('y', s.y); e.setAttribute('fill', s.c);
        e.setAttribute('font-size', s.fs * 4 / 3);
        const a = anchors[s.a] || anchors.tl;
        e.setAttribute('text-anchor', a[0]); e.setAttribute('dominant-baseline', a[1]);
        e.textContent = s.t;
      } else {
        e = document.createElementNS(ns, 'circle');
        e.setAttribute('cx', s.x); e.setAttribute('cy', s.y); e.setAttribute('r', s.r);
        if (s.k === 'disc') { e.setAttribute('fill', s.c); } else {
          e.setAttribute('fill', 'none'); e.setAttribute('stroke', s.c); e.setAttribute('stroke-width', s.w);
        }
      }
      svg.appendChild(e);
    }
    box.replaceChildren(svg);
  },
};
