// The live board of a weight server: one tile per terminal, fed by the server's event stream.
// Every address is relative, so the page also works behind a proxy's path prefix; every name is
// written as text, never as markup.
'use strict';

(function () {
  const SVG = 'http://www.w3.org/2000/svg';
  const CELLS = 7;              // the display's indicator shows seven cells
  const STALE_MS = 3000;        // no event or heartbeat for this long: the server is lost
  const RECONNECT_MS = 6000;    // an open stream this silent is dropped and made again
  const AGE_SHOWN_MS = 2000;    // an answer older than this says how old it is
  const TOKEN_KEY = 'vesmera-token';

  const TEXTS = {
    link_lost: 'С терминалом нет связи',
    overload: 'Перегруз',
    port_error: 'Ошибка открытия Com-порта на сервере',
    lost_stream: 'Сервер не найден',
    starting: 'Ожидание первого ответа',
    stable: 'Вес стабилен',
    unstable: 'Вес не стабилен',
  };

  // Segments a..g of a seven-segment cell, as in the display's indicator.
  const SEGMENTS = {
    '0': 'abcdef', '1': 'bc', '2': 'abdeg', '3': 'abcdg', '4': 'bcfg', '5': 'acdfg',
    '6': 'acdefg', '7': 'abc', '8': 'abcdefg', '9': 'abcdfg', '-': 'g', ' ': '',
    'E': 'adefg', 'r': 'eg', 'o': 'cdeg', 'n': 'ceg', 'P': 'abefg', 'H': 'bcefg',
    'L': 'def', 'C': 'adef', 'A': 'abcefg', 'b': 'cdefg', 'd': 'bcdeg', 'F': 'aefg',
  };
  const T = 10; // segment thickness in cell units (a cell is 60 × 100)
  function hSeg(x0, x1, y) {
    return [[x0 + T / 2, y], [x0 + T, y - T / 2], [x1 - T, y - T / 2], [x1 - T / 2, y],
            [x1 - T, y + T / 2], [x0 + T, y + T / 2]];
  }
  function vSeg(x, y0, y1) {
    return [[x, y0 + T / 2], [x + T / 2, y0 + T], [x + T / 2, y1 - T], [x, y1 - T / 2],
            [x - T / 2, y1 - T], [x - T / 2, y0 + T]];
  }
  const GEOMETRY = {
    a: hSeg(10, 50, 8), b: vSeg(50, 8, 50), c: vSeg(50, 50, 92), d: hSeg(10, 50, 92),
    e: vSeg(10, 50, 92), f: vSeg(10, 8, 50), g: hSeg(10, 50, 50),
  };

  const params = new URLSearchParams(location.search);
  const chosen = params.getAll('terminal');
  const tilesElement = document.getElementById('tiles');
  const connectionElement = document.getElementById('connection');
  const tiles = new Map();   // name → tile
  let zeroPossible = false;
  let stream = null;
  let lastEventAt = performance.now();
  let streamOpen = false;
  let painted = false;

  function shown(name) {
    return chosen.length === 0 || chosen.includes(name);
  }

  // Text → cells: a decimal separator lights the point of the cell before it.
  function cellsOf(text) {
    const cells = [];
    for (const ch of text) {
      if ((ch === ',' || ch === '.') && cells.length > 0 && !cells[cells.length - 1].dot) {
        cells[cells.length - 1].dot = true;
      } else if (ch === ',' || ch === '.') {
        cells.push({ segments: '', dot: true });
      } else {
        cells.push({ segments: SEGMENTS[ch] !== undefined ? SEGMENTS[ch] : '', dot: false });
      }
    }
    // Right-aligned, as the indicator aligns its text.
    while (cells.length < CELLS) cells.unshift({ segments: '', dot: false });
    return cells;
  }

  function buildIndicator() {
    const svg = document.createElementNS(SVG, 'svg');
    svg.setAttribute('class', 'indicator');
    svg.setAttribute('aria-hidden', 'true');
    svg.setAttribute('focusable', 'false');
    return svg;
  }

  function drawIndicator(svg, text) {
    const cells = cellsOf(text);
    svg.setAttribute('viewBox', `0 0 ${cells.length * 60 + 10} 100`);
    svg.setAttribute('preserveAspectRatio', 'xMaxYMid meet');
    while (svg.firstChild) svg.removeChild(svg.firstChild);
    cells.forEach((cell, i) => {
      const group = document.createElementNS(SVG, 'g');
      group.setAttribute('transform', `translate(${i * 60 + 5} 0) skewX(-6)`);
      for (const name of 'abcdefg') {
        const polygon = document.createElementNS(SVG, 'polygon');
        polygon.setAttribute('points', GEOMETRY[name].map((p) => p.join(',')).join(' '));
        polygon.setAttribute('class', cell.segments.includes(name) ? 'on' : 'off');
        group.appendChild(polygon);
      }
      const dot = document.createElementNS(SVG, 'circle');
      dot.setAttribute('cx', '58');
      dot.setAttribute('cy', '92');
      dot.setAttribute('r', '5');
      dot.setAttribute('class', cell.dot ? 'on' : 'off');
      group.appendChild(dot);
      svg.appendChild(group);
    });
  }

  function makeTile(name) {
    const section = document.createElement('section');
    section.className = 'tile none';
    section.setAttribute('role', 'region');
    section.setAttribute('aria-label', name);
    const heading = document.createElement('h2');
    heading.className = 'name';
    heading.textContent = name;
    const face = document.createElement('div');
    face.className = 'face';
    const svg = buildIndicator();
    face.appendChild(svg);
    const weight = document.createElement('p');
    weight.className = 'weight-text';
    weight.setAttribute('aria-live', 'polite');
    const state = document.createElement('p');
    state.className = 'state';
    const age = document.createElement('span');
    age.className = 'age';
    const actions = document.createElement('div');
    actions.className = 'actions';
    const zero = document.createElement('button');
    zero.type = 'button';
    zero.className = 'zero';
    zero.textContent = 'Обнулить';
    zero.hidden = !zeroPossible;
    zero.addEventListener('click', () => askZero(name, tile));
    const note = document.createElement('span');
    note.className = 'note';
    note.setAttribute('role', 'status');
    actions.append(zero, note);
    section.append(heading, face, weight, state, age, actions);
    const tile = { name, section, svg, weight, state, age, zero, note, reading: null,
                   receivedAt: 0, seq: -1, drawn: null };
    return tile;
  }

  // The tiles in the server's configuration order: kept ones stay, new ones are made, gone
  // ones leave.
  function arrange(readings) {
    const names = readings.map((r) => r.terminal).filter(shown);
    for (const [name, tile] of tiles) {
      if (!names.includes(name)) {
        tile.section.remove();
        tiles.delete(name);
      }
    }
    for (const name of names) {
      let tile = tiles.get(name);
      if (!tile) {
        tile = makeTile(name);
        tiles.set(name, tile);
      }
      tilesElement.appendChild(tile.section); // moves it into order
    }
  }

  function apply(reading, fromStream) {
    if (!shown(reading.terminal)) return;
    let tile = tiles.get(reading.terminal);
    if (!tile) {
      tile = makeTile(reading.terminal);
      tiles.set(reading.terminal, tile);
      tilesElement.appendChild(tile.section);
    }
    // Within one connection a reading never replaces a newer one; a reading of the same seq
    // only refreshes its age.
    if (typeof reading.seq === 'number' && reading.seq < tile.seq) return;
    if (fromStream || tile.seq < 0) tile.seq = reading.seq;
    tile.reading = reading;
    tile.receivedAt = performance.now();
    render(tile);
  }

  function render(tile) {
    const r = tile.reading;
    const stale = isStale();
    let kind = 'none';
    let text = '';
    let state = '';
    if (r) {
      const hasValue = r.value !== null && r.value !== undefined && r.text !== null;
      text = hasValue ? r.text : '';
      kind = hasValue ? (r.status === 'stable' ? 'stable' : 'unstable') : 'none';
      state = TEXTS[r.status] || r.status;
    }
    if (stale) {
      kind = 'none';
      state = TEXTS.lost_stream;
    }
    const shownText = text !== '' ? text : '-------'.slice(0, CELLS);
    const key = `${kind}|${shownText}`;
    if (tile.drawn !== key) {
      drawIndicator(tile.svg, shownText);
      tile.drawn = key;
    }
    tile.section.className = `tile ${kind}`;
    if (tile.weight.textContent !== text) tile.weight.textContent = text;
    if (tile.state.textContent !== state) tile.state.textContent = state;
    renderAge(tile);
  }

  function renderAge(tile) {
    const r = tile.reading;
    let text = '';
    if (r && typeof r.age_ms === 'number') {
      const age = r.age_ms + (performance.now() - tile.receivedAt);
      if (age > AGE_SHOWN_MS) text = `${Math.floor(age / 1000)} с назад`;
    }
    if (tile.age.textContent !== text) tile.age.textContent = text;
  }

  function isStale() {
    return performance.now() - lastEventAt > STALE_MS;
  }

  let wasStale = false;
  function tick() {
    const stale = isStale();
    if (stale !== wasStale) {
      wasStale = stale;
      connectionElement.textContent = stale ? TEXTS.lost_stream : '';
      document.body.classList.toggle('stale', stale);
      for (const tile of tiles.values()) render(tile);
    } else {
      for (const tile of tiles.values()) renderAge(tile);
    }
    if (streamOpen && performance.now() - lastEventAt > RECONNECT_MS) {
      connect(); // an open stream that stays silent is a dead connection
    }
  }

  function heard() {
    lastEventAt = performance.now();
    if (wasStale) tick();
    else if (connectionElement.textContent !== '') connectionElement.textContent = '';
  }

  async function getJson(path) {
    const response = await fetch(path, { cache: 'no-store' });
    if (!response.ok) throw new Error(`${path}: ${response.status}`);
    return response.json();
  }

  // What the server offers now: after each (re)connect, since a restart or a reload may have
  // changed the terminals or the token.
  async function learnServer() {
    try {
      const [about, readings] = await Promise.all([getJson('v1'), getJson('v1/terminals')]);
      zeroPossible = about.zero === true;
      arrange(readings);
      for (const reading of readings) apply(reading, false);
      for (const tile of tiles.values()) tile.zero.hidden = !zeroPossible;
      if (!painted) {
        painted = true;
        performance.mark('tiles-rendered');
      }
    } catch (e) {
      // The stream's own reconnecting brings the next attempt.
    }
  }

  function connect() {
    if (stream) stream.close();
    streamOpen = false;
    const source = new EventSource('v1/events');
    stream = source;
    source.addEventListener('open', () => {
      if (stream !== source) return;
      streamOpen = true;
      for (const tile of tiles.values()) tile.seq = -1; // seq starts afresh on a new connection
      heard();
      learnServer();
    });
    source.addEventListener('reading', (event) => {
      if (stream !== source) return;
      heard();
      try {
        apply(JSON.parse(event.data), true);
      } catch (e) {
        // A reading that does not parse is skipped; the next one replaces it.
      }
    });
    source.addEventListener('heartbeat', () => {
      if (stream === source) heard();
    });
    source.addEventListener('error', () => {
      if (stream !== source) return;
      streamOpen = false;
      // A refused or failed stream is closed for good by the browser: make a new one.
      if (source.readyState === EventSource.CLOSED) setTimeout(() => {
        if (stream === source) connect();
      }, 1000);
    });
  }

  async function askZero(name, tile) {
    let token = sessionStorage.getItem(TOKEN_KEY);
    if (!token) {
      token = window.prompt('Ключ доступа для обнуления');
      if (!token) return;
      sessionStorage.setItem(TOKEN_KEY, token);
    }
    if (!window.confirm(`Обнулить весы «${name}»?`)) return;
    tile.note.textContent = '';
    try {
      const response = await fetch(`v1/terminals/${encodeURIComponent(name)}/zero`, {
        method: 'POST',
        headers: { Authorization: `Bearer ${token}` },
      });
      if (response.status === 202) {
        tile.note.textContent = 'Обнуление отправлено';
      } else if (response.status === 401) {
        sessionStorage.removeItem(TOKEN_KEY);
        tile.note.textContent = 'Неверный ключ доступа';
      } else if (response.status === 409) {
        tile.note.textContent = 'Терминал не на связи';
      } else {
        tile.note.textContent = `Ошибка ${response.status}`;
      }
    } catch (e) {
      tile.note.textContent = TEXTS.lost_stream;
    }
  }

  connect();
  learnServer();
  setInterval(tick, 250);
})();
