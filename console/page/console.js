'use strict';
// The teacher's page. The console decides everything that matters (which address may be sent,
// which call is genuine, where a desk is); this page shows what it answers and asks it again.
// What every open page must agree on (calls answered, pages sent) comes from its events, never
// from this page's own clicks.

const $ = (id) => document.getElementById(id);
const TITLE = document.title;
const RECENT_KEY = 'velostrander-console.recent-pages';
const KEPT_RECENT = 12;
const KEPT_LOG = 30;
const MAX_DESK = 99;

const state = {
  pcs: [],             // as GET /api/room gives them
  picked: new Set(),   // computer numbers
  anchor: null,        // where a shift-click picks from
  calls: [],           // this lesson's calls, oldest first
};
let audio = null;      // made on the teacher's first click: browsers allow sound only after one

// --- Talking to the console -------------------------------------------------------------------

// What a fetch that reached no server means to the teacher: the browser's own words for it are
// English, and name no way out. A console started again serves on a new port, with a new page.
const UNREACHABLE = 'コンソールに届きません。終了したときは、' +
  'メニューからもう一度起動してください（ページが新しく開きます）。';

// The answer's JSON, or null after showing why there is none in #problem.
async function ask(method, path, body) {
  let response;
  try {
    response = await fetch(path, body === undefined ? {method} : {
      method, headers: {'Content-Type': 'application/json'}, body: JSON.stringify(body)});
  } catch {
    showProblem(UNREACHABLE);
    return null;
  }
  const text = await response.text();
  let answer;
  try { answer = JSON.parse(text); } catch { answer = {problem: text.trim()}; }
  if (!response.ok) {
    showProblem(answer.problem || `コンソールが ${response.status} を返しました。`);
    return null;
  }
  if (method !== 'GET') showProblem('');
  return answer;
}

function showProblem(text) { $('problem').textContent = text; }

function showAlarm(id, text) {
  $(id).textContent = text;
  $(id).hidden = !text;
}

const byNumber = (number) => state.pcs.find((pc) => pc.number === number);

function stamp(seconds) {
  const t = new Date(seconds * 1000);
  const two = (n) => String(n).padStart(2, '0');
  return `${t.getFullYear()}-${two(t.getMonth() + 1)}-${two(t.getDate())} ` +
         `${two(t.getHours())}:${two(t.getMinutes())}:${two(t.getSeconds())}`;
}
const clock = (seconds) => stamp(seconds).slice(11);

function element(tag, className, text) {
  const made = document.createElement(tag);
  if (className) made.className = className;
  if (text !== undefined) made.textContent = text;
  return made;
}

// --- The room ---------------------------------------------------------------------------------

async function loadRoom() {
  const room = await ask('GET', '/api/room');
  if (!room) return;
  state.pcs = room.pcs;
  state.picked = new Set([...state.picked].filter(byNumber));
  showAlarm('room-problem', room.roomProblem);
  showCallPort(room);
  showThisPc(room.thisPc);
  renderRoom();
}

function showThisPc(thisPc) {
  const line = $('this-pc');
  line.replaceChildren();
  if (!thisPc) return;
  line.append('この PC: ', element('strong', '', thisPc.name || '(名前なし)'),
              ' ' + (thisPc.addresses || []).join(', '),
              element('span', 'note', ' (生徒の PC の MasterCompx= と MasterOnlyx= に入れる名前とアドレス)'));
}

function showCallPort(room) {
  if (document.activeElement !== $('call-port')) $('call-port').value = room.callPort;
  showAlarm('call-port-problem', room.callPortProblem &&
    `呼出しが届きません: ポート ${room.callPort} で待ち受けられません (${room.callPortProblem})。` +
    '上の「呼出しを受けるポート」をほかのプログラムが使っていない番号に変えてください。' +
    '生徒の PC の MasterPortx= も同じ番号にします。');
}

function freeCell(column, row) {
  return column >= 1 && row >= 1 && column <= MAX_DESK && row <= MAX_DESK &&
         !state.pcs.some((pc) => pc.desk && pc.desk.column === column && pc.desk.row === row);
}

function renderRoom() {
  // In the order of the desks, row by row, so that Tab and the arrows go as the eye does.
  const placed = state.pcs.filter((pc) => pc.desk)
                          .sort((a, b) => a.desk.row - b.desk.row || a.desk.column - b.desk.column);
  // One free column and row beyond the last desk, so that the room can grow by a drag.
  const columns = Math.min(MAX_DESK, Math.max(6, ...placed.map((pc) => pc.desk.column + 1)));
  const rows = Math.min(MAX_DESK, Math.max(5, ...placed.map((pc) => pc.desk.row + 1)));
  const desks = $('desks');
  desks.style.setProperty('--columns', columns);
  desks.style.setProperty('--rows', rows);
  const cells = [];
  for (let row = 1; row <= rows; ++row) {
    for (let column = 1; column <= columns; ++column) {
      const cell = element('div', 'cell');
      cell.dataset.column = column;
      cell.dataset.row = row;
      cell.style.gridArea = `${row} / ${column}`;
      cells.push(cell);
    }
  }
  desks.replaceChildren(...cells, ...placed.map(tile));
  $('tray-tiles').replaceChildren(...state.pcs.filter((pc) => !pc.desk).map(tile));
  if (!$('add-port').value && state.pcs.length) $('add-port').value = state.pcs.at(-1).port;
  showTiles();
}

function tile(pc) {
  const made = element('div', 'tile');
  made.dataset.number = pc.number;
  made.tabIndex = 0;
  made.setAttribute('role', 'option');
  made.title = `${pc.number} ${pc.name} (${pc.host}:${pc.port})`;
  made.append(element('span', 'number', pc.number), element('span', 'name', pc.name));
  if (pc.desk) made.style.gridArea = `${pc.desk.row} / ${pc.desk.column}`;
  return made;
}

const tiles = () => [...document.querySelectorAll('#room .tile')];
const openCall = (call) => call.genuine && !call.answered;

// Picks and calls onto the tiles, and what depends on the pick.
function showTiles() {
  const called = new Set(state.calls.filter(openCall).map((call) => call.number));
  for (const shown of tiles()) {
    const number = shown.dataset.number;
    shown.classList.toggle('picked', state.picked.has(number));
    shown.classList.toggle('called', called.has(number));
    shown.setAttribute('aria-selected', state.picked.has(number));
  }
  $('picked-count').textContent = state.picked.size ? `${state.picked.size} 台を選んでいます` : '';
  const editing = state.picked.size === 1 ? byNumber([...state.picked][0]) : null;
  $('pc-editor').hidden = !editing;
  if (editing && $('editing').textContent !== editing.number) {
    $('editing').textContent = editing.number;
    $('edit-name').value = editing.name;
    $('edit-host').value = editing.host;
    $('edit-port').value = editing.port;
  }
  if (!editing) $('editing').textContent = '';
}

function pick(number, how) {
  const numbers = state.pcs.map((pc) => pc.number).sort();
  if (how.shiftKey && state.anchor && numbers.includes(state.anchor)) {
    const [from, to] = [numbers.indexOf(state.anchor), numbers.indexOf(number)].sort((a, b) => a - b);
    numbers.slice(from, to + 1).forEach((n) => state.picked.add(n));
  } else if (how.ctrlKey || how.metaKey) {
    if (!state.picked.delete(number)) state.picked.add(number);
  } else {
    state.picked = new Set([number]);
  }
  if (!how.shiftKey) state.anchor = number;
  showTiles();
}

async function placeAt(number, desk) {
  const changed = await ask('POST', `/api/room/pcs/${number}`, {desk});
  if (changed) Object.assign(byNumber(number), changed);
  renderRoom();
}

// A drag from a tile moves it to a free desk or to the tray; a drag from an empty place picks
// the tiles its band touches; a press without a drag is a click.
let gesture = null;

function onPointerDown(event) {
  if (event.button !== 0) return;
  const pressed = event.target.closest('.tile');
  if (!pressed && !event.target.closest('#desks')) return;
  gesture = {tile: pressed, x: event.clientX, y: event.clientY, moved: false,
             kept: event.shiftKey || event.ctrlKey || event.metaKey ? new Set(state.picked) : new Set()};
}

function dropTarget(event) {
  const under = document.elementFromPoint(event.clientX, event.clientY);
  const cell = under && under.closest('.cell');
  if (cell && freeCell(+cell.dataset.column, +cell.dataset.row)) return cell;
  return under && under.closest('#tray');
}

function onPointerMove(event) {
  if (!gesture) return;
  const dx = event.clientX - gesture.x;
  const dy = event.clientY - gesture.y;
  if (!gesture.moved && Math.hypot(dx, dy) < 6) return;
  gesture.moved = true;
  document.querySelectorAll('.target').forEach((old) => old.classList.remove('target'));
  if (gesture.tile) {
    gesture.tile.classList.add('dragging');
    gesture.tile.style.translate = `${dx}px ${dy}px`;
    dropTarget(event)?.classList.add('target');
    return;
  }
  const band = $('band') || document.body.appendChild(element('div'));
  band.id = 'band';
  const box = {left: Math.min(event.clientX, gesture.x), top: Math.min(event.clientY, gesture.y),
               right: Math.max(event.clientX, gesture.x), bottom: Math.max(event.clientY, gesture.y)};
  Object.assign(band.style, {left: `${box.left}px`, top: `${box.top}px`,
                             width: `${box.right - box.left}px`, height: `${box.bottom - box.top}px`});
  state.picked = new Set(gesture.kept);
  for (const shown of tiles()) {
    const r = shown.getBoundingClientRect();
    if (r.left < box.right && r.right > box.left && r.top < box.bottom && r.bottom > box.top) {
      state.picked.add(shown.dataset.number);
    }
  }
  showTiles();
}

function onPointerUp(event) {
  const ended = gesture;
  gesture = null;
  $('band')?.remove();
  if (!ended) return;
  const target = ended.moved && ended.tile ? dropTarget(event) : null;
  document.querySelectorAll('.target').forEach((old) => old.classList.remove('target'));
  if (!ended.moved) {
    if (ended.tile) pick(ended.tile.dataset.number, event);
    else if (!ended.kept.size) { state.picked.clear(); showTiles(); }
  } else if (ended.tile && target) {
    placeAt(ended.tile.dataset.number,
            target.id === 'tray' ? null : {column: +target.dataset.column, row: +target.dataset.row});
  } else if (ended.tile) {
    renderRoom();
  }
}

// Space or Enter picks as a click does; Alt with an arrow moves the PC one desk that way, and an
// arrow alone goes to the next or previous tile.
const STEPS = {ArrowLeft: [-1, 0], ArrowRight: [1, 0], ArrowUp: [0, -1], ArrowDown: [0, 1]};

async function onTileKey(event) {
  const focused = event.target.closest('.tile');
  if (!focused) return;
  const number = focused.dataset.number;
  if (event.key === ' ' || event.key === 'Enter') {
    event.preventDefault();
    pick(number, event);
  } else if (event.altKey && STEPS[event.key]) {
    event.preventDefault();
    const desk = byNumber(number).desk;
    const [dc, dr] = STEPS[event.key];
    const to = desk ? {column: desk.column + dc, row: desk.row + dr} : firstFreeCell();
    if (!freeCell(to.column, to.row)) return;
    await placeAt(number, to);
    document.querySelector(`#room .tile[data-number="${number}"]`)?.focus();
  } else if (STEPS[event.key]) {
    event.preventDefault();
    const all = tiles();
    all[all.indexOf(focused) + STEPS[event.key][0] + STEPS[event.key][1]]?.focus();
  }
}

function firstFreeCell() {
  for (let row = 1; row <= MAX_DESK; ++row) {
    for (let column = 1; column <= 6; ++column) {
      if (freeCell(column, row)) return {column, row};
    }
  }
  return {column: 0, row: 0};
}

async function changePc(event) {
  event.preventDefault();
  const number = $('editing').textContent;
  const changed = await ask('POST', `/api/room/pcs/${number}`, {
    name: $('edit-name').value.trim(), host: $('edit-host').value.trim(), port: +$('edit-port').value});
  if (changed) Object.assign(byNumber(number), changed);
  renderRoom();
}

async function removePc() {
  const number = $('editing').textContent;
  if (!confirm(`PC ${number} を部屋から外しますか? 部屋のファイルからも消えます。`)) return;
  if (await ask('DELETE', `/api/room/pcs/${number}`)) {
    state.picked.delete(number);
    $('editing').textContent = '';
    await loadRoom();
  }
}

async function addPc(event) {
  event.preventDefault();
  const pc = {number: $('add-number').value.trim(), host: $('add-host').value.trim(),
              port: +$('add-port').value, name: $('add-name').value.trim()};
  if (!await ask('POST', '/api/room/pcs', pc)) return;
  $('add-number').value = $('add-host').value = $('add-name').value = '';
  await loadRoom();
}

// --- Sending ----------------------------------------------------------------------------------

function recentPages() {
  try {
    const pages = JSON.parse(localStorage.getItem(RECENT_KEY));
    return Array.isArray(pages) ? pages.filter((page) => typeof page === 'string') : [];
  } catch {
    return [];
  }
}

function showRecentPages() {
  $('recent-pages').replaceChildren(...recentPages().map((page) => new Option(page, page)));
}

// The picked PCs in the order of their numbers; the console says when there are none.
const send = (what) => ask('POST', '/api/send', {to: [...state.picked].sort(), ...what});

async function sendPage(event) {
  event.preventDefault();
  const page = $('page-url').value.trim();
  if (!await send({page})) return;
  const pages = [page, ...recentPages().filter((kept) => kept !== page)].slice(0, KEPT_RECENT);
  localStorage.setItem(RECENT_KEY, JSON.stringify(pages));
  showRecentPages();
}

function sentText(text) {
  const verb = text.startsWith('Command:') && text.slice(8);
  const button = verb && document.querySelector(`button[data-command="${verb}"]`);
  return button ? `表示: ${button.textContent}` : text;
}

function logSent(event) {
  const line = element('li');
  line.append(element('span', 'when', clock(event.time)),
              element('span', 'what', `${sentText(event.text)} → ${event.sent.join(', ') || 'なし'}`));
  if (event.failed.length) {
    line.append(element('span', 'failed',
      '届かず: ' + event.failed.map((f) => `${f.number} (${f.reason})`).join(', ')));
  }
  $('log').prepend(line);
  while ($('log').children.length > KEPT_LOG) $('log').lastChild.remove();
}

async function saveCallPort(event) {
  event.preventDefault();
  const answer = await ask('POST', '/api/settings', {callPort: +$('call-port').value});
  if (answer) showCallPort(answer);
}

// --- Calls ------------------------------------------------------------------------------------

function hear(event) {
  if (event.kind === 'sent') return logSent(event);
  if (event.kind === 'done') {
    state.calls.filter((call) => openCall(call) && call.number === event.number)
               .forEach((call) => { call.answered = event.time; });
    return;
  }
  if (event.kind !== 'call') return;
  const open = event.genuine && state.calls.find((call) => openCall(call) && call.number === event.number);
  if (open) {
    open.times += 1;
    open.time = event.time;
  } else {
    state.calls.push({...event, times: 1, answered: null});
  }
  // The calls a page finds on opening are old news: only a new one rings.
  if (event.genuine && Date.now() / 1000 - event.time < 15) ring();
}

function callText(call) {
  const name = byNumber(call.number)?.name;
  const who = name ? `${call.number} (${name})` : call.number;
  if (!call.genuine) {
    const owner = call.sentBy ? `部屋では ${call.sentBy} のアドレス` : '部屋のどの PC のアドレスでもない';
    return `${who} を名乗る偽の呼出し: ${call.from} から (${owner})`;
  }
  const times = call.times > 1 ? ` ×${call.times}` : '';
  return call.answered ? `${who} の呼出し${times}: ${clock(call.answered)} に対応済み`
                       : `${who} が呼んでいます${times}`;
}

function renderCalls() {
  const lines = state.calls.map((call) => {
    const line = element('li', call.genuine ? (call.answered ? 'answered' : 'open') : 'forged');
    line.dataset.number = call.number;
    line.append(element('span', 'when', clock(call.time)), element('span', 'what', callText(call)));
    if (openCall(call)) {
      const done = element('button', 'done', '対応済み');
      done.type = 'button';
      done.addEventListener('click', () => ask('POST', `/api/calls/${call.number}/done`, {}));
      line.append(done);
    }
    return line;
  });
  $('calls').replaceChildren(...lines.reverse());
  const open = state.calls.filter(openCall).length;
  document.title = open ? `(${open}) ${TITLE}` : TITLE;
  showTiles();
}

function wakeSound() {
  if (audio) return;
  audio = new AudioContext();
  // Its room is kept: where the note wraps to a line of its own, the page would move under the
  // pointer between the teacher's first click and the second.
  $('sound').style.visibility = 'hidden';
}

// Two short falling tones, made here: the program carries no sound file.
function ring() {
  if (!audio) return;
  const start = audio.currentTime;
  [880, 660].forEach((pitch, i) => {
    const at = start + i * 0.22;
    const tone = audio.createOscillator();
    const volume = audio.createGain();
    tone.frequency.value = pitch;
    volume.gain.setValueAtTime(0.0001, at);
    volume.gain.exponentialRampToValueAtTime(0.4, at + 0.02);
    volume.gain.exponentialRampToValueAtTime(0.0001, at + 0.2);
    tone.connect(volume).connect(audio.destination);
    tone.start(at);
    tone.stop(at + 0.21);
  });
}

// Excel runs a field that begins with = + - @ (or a tab or CR before one) as a formula: such a
// field starts with an apostrophe instead. The BOM makes Excel read UTF-8.
function csvField(value) {
  const text = String(value ?? '');
  return '"' + (/^[=+\-@\t\r]/.test(text) ? "'" + text : text).replaceAll('"', '""') + '"';
}

function callsCsv() {
  const rows = [['時刻', 'コンピュータ番号', '名前', '本物', '送信元', '部屋でそのアドレスの PC',
                 '回数', '対応済み']];
  for (const call of state.calls) {
    rows.push([stamp(call.time), call.number, byNumber(call.number)?.name, call.genuine ? 'はい' : 'いいえ',
               call.from, call.genuine ? call.number : call.sentBy, call.times,
               call.answered ? stamp(call.answered) : '']);
  }
  return '\ufeff' + rows.map((row) => row.map(csvField).join(',')).join('\r\n') + '\r\n';
}

function saveCalls() {
  const link = element('a');
  link.href = URL.createObjectURL(new Blob([callsCsv()], {type: 'text/csv;charset=utf-8'}));
  link.download = `呼出し-${stamp(Date.now() / 1000).slice(0, 10)}.csv`;
  link.click();
  setTimeout(() => URL.revokeObjectURL(link.href), 60000);
}

// The console answers at once when it has news, or after a while with none; only after an error
// does the page wait, a little longer each time, so that a console that has ended is not hammered.
async function listen() {
  let after = 0;
  let pause = 500;
  for (;;) {
    try {
      const response = await fetch(`/api/events?after=${after}`);
      if (!response.ok) throw new Error((await response.text()).trim());
      const news = await response.json();
      after = news.next;
      news.events.forEach(hear);
      // Another page open on the console may have changed the room: once for all its changes.
      if (news.events.some((event) => event.kind === 'room')) await loadRoom();
      renderCalls();
      pause = 500;
      if ($('problem').textContent === UNREACHABLE) showProblem('');
    } catch (error) {
      showProblem(error instanceof TypeError ? UNREACHABLE : error.message);
      await new Promise((resume) => setTimeout(resume, pause));
      pause = Math.min(pause * 2, 8000);
    }
  }
}

// --- Start ------------------------------------------------------------------------------------

$('room').addEventListener('pointerdown', onPointerDown);
document.addEventListener('pointermove', onPointerMove);
document.addEventListener('pointerup', onPointerUp);
$('room').addEventListener('keydown', onTileKey);
$('pick-all').addEventListener('click', () => {
  state.picked = new Set(state.pcs.map((pc) => pc.number));
  showTiles();
});
$('pick-none').addEventListener('click', () => { state.picked.clear(); showTiles(); });
$('pc-editor').addEventListener('submit', changePc);
$('remove-pc').addEventListener('click', removePc);
$('pc-adder').addEventListener('submit', addPc);
// The port kept from the last PC is a suggestion: a click selects it, as a tab does, so that
// typing replaces it rather than adding digits to it.
$('add-port').addEventListener('focus', (event) => event.target.select());
$('page-form').addEventListener('submit', sendPage);
document.querySelectorAll('button[data-command]').forEach((button) => {
  button.addEventListener('click', () => send({command: button.dataset.command}));
});
$('port-form').addEventListener('submit', saveCallPort);
$('save-calls').addEventListener('click', saveCalls);
// On the click, not the press: the note it hides would move the button under the pointer away
// before its release, and the teacher's first click would be lost.
document.addEventListener('click', wakeSound, {once: true});
document.addEventListener('keydown', wakeSound, {once: true});
showRecentPages();
loadRoom();
listen();
