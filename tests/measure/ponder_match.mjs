// Games of the engine (UCI) against a UCI opponent on a clock, with the
// engine pondering or not, to measure what pondering does to its clock.
// The shared match tool referees (chess.js); this script adds what it does
// not do: "go ponder" on the move the engine expects, "ponderhit" when the
// opponent plays it (the engine's clock runs from the hit), "stop" when not.
//
//   node tests/measure/ponder_match.mjs --match-dir /tmp/match \
//     --engine build/release/quillantor --ponder true \
//     --opponent /usr/games/stockfish --opponent-option UCI_LimitStrength=true \
//     --opponent-option UCI_Elo=2000 --tc 10+0.1 --games 100 \
//     --openings /tmp/match/openings.epd
//
// Prints one line a game (result, the engine's clock at the end, its
// lowest clock, ponder hits) and a summary.
import { spawn } from 'node:child_process';
import { createInterface } from 'node:readline';
import { performance } from 'node:perf_hooks';
import fs from 'node:fs';
import path from 'node:path';

const args = process.argv.slice(2);
const option = (name, fallback) => {
  const i = args.indexOf(name);
  return i >= 0 && i + 1 < args.length ? args[i + 1] : fallback;
};
const options = (name) => args.flatMap((a, i) => (a === name && i + 1 < args.length ? [args[i + 1]] : []));

const matchDir = option('--match-dir', '/tmp/match');
const { Chess } = await import(path.join(matchDir, 'node_modules/chess.js/dist/esm/chess.js'));
const enginePath = path.resolve(option('--engine', 'build/release/quillantor'));
const opponentPath = option('--opponent', '/usr/games/stockfish');
const ponder = option('--ponder', 'true') === 'true';
const games = Number(option('--games', '10'));
const [baseS, incS] = option('--tc', '10+0.1').split('+').map(Number);
const baseMs = Math.round(baseS * 1000);
const incMs = Math.round((incS ?? 0) * 1000);
const openings = fs
  .readFileSync(option('--openings', path.join(matchDir, 'openings.epd')), 'utf8')
  .split('\n')
  .map((l) => l.trim())
  .filter((l) => l && !l.startsWith('#'))
  .map((l) => l.split(/\s+/).slice(0, 4).join(' ') + ' 0 1');

class Uci {
  constructor(argv, cwd) {
    this.proc = spawn(argv[0], argv.slice(1), { cwd, stdio: ['pipe', 'pipe', 'ignore'] });
    this.queue = [];
    this.waiters = [];
    createInterface({ input: this.proc.stdout }).on('line', (line) => {
      const t = performance.now();
      const w = this.waiters.findIndex((x) => line.startsWith(x.prefix));
      if (w >= 0) this.waiters.splice(w, 1)[0].resolve({ line, t });
      else this.queue.push({ line, t });
      if (this.queue.length > 2000) this.queue.splice(0, 1000);
    });
  }
  send(line) {
    this.proc.stdin.write(line + '\n');
  }
  waitFor(prefix, timeoutMs = 60000) {
    const i = this.queue.findIndex((x) => x.line.startsWith(prefix));
    if (i >= 0) return Promise.resolve(this.queue.splice(0, i + 1).pop());
    this.queue = [];
    return new Promise((resolve, reject) => {
      const waiter = { prefix, resolve };
      this.waiters.push(waiter);
      setTimeout(() => {
        const k = this.waiters.indexOf(waiter);
        if (k >= 0) {
          this.waiters.splice(k, 1);
          reject(new Error(`no '${prefix}' within ${timeoutMs} ms`));
        }
      }, timeoutMs);
    });
  }
  async start(setOptions) {
    this.send('uci');
    await this.waitFor('uciok', 20000);
    for (const [name, value] of setOptions) this.send(`setoption name ${name} value ${value}`);
    this.send('isready');
    await this.waitFor('readyok', 20000);
  }
  quit() {
    this.send('quit');
    setTimeout(() => this.proc.kill('SIGKILL'), 2000).unref();
  }
}

const uciMove = (m) => m.from + m.to + (m.promotion ?? '');

function ended(chess) {
  if (chess.isCheckmate()) return chess.turn() === 'w' ? '0-1' : '1-0';
  if (chess.isStalemate() || chess.isInsufficientMaterial() || chess.isThreefoldRepetition() || chess.isDrawByFiftyMoves())
    return '1/2-1/2';
  if (chess.history().length >= 600) return '1/2-1/2';
  return null;
}

async function playGame(fen, ourColor) {
  const engine = new Uci([enginePath], path.dirname(enginePath));
  const opponent = new Uci([opponentPath], undefined);
  await engine.start([['Ponder', ponder ? 'true' : 'false'], ['OwnBook', 'false']]);
  await opponent.start(options('--opponent-option').map((o) => o.split('=')));
  const chess = new Chess(fen);
  const moves = [];
  const clock = { w: baseMs, b: baseMs };
  let lowest = baseMs, hits = 0, ponders = 0, result = null, flagged = null;
  let pondering = null; // { move, hitAt }
  const position = (extra = []) =>
    `position fen ${fen}` + (moves.length + extra.length ? ' moves ' + [...moves, ...extra].join(' ') : '');
  const goClock = () => `wtime ${Math.max(0, Math.round(clock.w))} btime ${Math.max(0, Math.round(clock.b))} winc ${incMs} binc ${incMs}`;
  while (!(result = ended(chess))) {
    const side = chess.turn();
    const ours = side === ourColor;
    const player = ours ? engine : opponent;
    let start;
    if (ours && pondering && pondering.hitAt !== undefined) {
      start = pondering.hitAt;
    } else {
      player.send(position());
      start = performance.now();
      player.send('go ' + goClock());
    }
    const reply = await player.waitFor('bestmove', clock[side] + 30000);
    const used = reply.t - start;
    clock[side] -= used;
    if (clock[side] < 0) {
      flagged = side;
      result = side === 'w' ? '0-1' : '1-0';
      break;
    }
    clock[side] += incMs;
    if (ours) lowest = Math.min(lowest, clock[side] - incMs);
    const words = reply.line.split(/\s+/);
    const played = chess.move({ from: words[1].slice(0, 2), to: words[1].slice(2, 4), promotion: words[1][4] });
    moves.push(uciMove(played));
    if (ours) {
      pondering = null;
      if (ponder && words[2] === 'ponder' && words[3] && !ended(chess)) {
        pondering = { move: words[3] };
        ponders++;
        engine.send(position([words[3]]));
        engine.send('go ponder ' + goClock());
      }
    } else if (pondering) {
      if (moves[moves.length - 1] === pondering.move) {
        engine.send('ponderhit');
        pondering.hitAt = performance.now();
        hits++;
      } else {
        engine.send('stop');
        await engine.waitFor('bestmove', 10000);
        pondering = null;
      }
    }
  }
  if (pondering && pondering.hitAt === undefined) {
    engine.send('stop');
    await engine.waitFor('bestmove', 10000).catch(() => {});
  }
  engine.quit();
  opponent.quit();
  const score = result === '1/2-1/2' ? 0.5 : (result === '1-0') === (ourColor === 'w') ? 1 : 0;
  return { result, score, left: clock[ourColor], lowest, flagged: flagged === ourColor, hits, ponders, plies: moves.length };
}

const all = [];
for (let g = 0; g < games; g++) {
  const fen = openings[Math.floor(g / 2) % openings.length];
  const ourColor = g % 2 === 0 ? 'w' : 'b';
  const r = await playGame(fen, ourColor);
  all.push(r);
  console.log(
    `game ${g + 1}: ${r.result} (${ourColor === 'w' ? 'white' : 'black'}) ${r.plies} plies, clock left ${Math.round(r.left)} ms, lowest ${Math.round(r.lowest)} ms` +
      `${r.flagged ? ', FLAGGED' : ''}, ponder hits ${r.hits}/${r.ponders}`,
  );
}
const mean = (xs) => xs.reduce((a, b) => a + b, 0) / Math.max(1, xs.length);
const sorted = all.map((r) => r.left).sort((a, b) => a - b);
console.log(
  `ponder ${ponder}: ${all.length} games, score ${mean(all.map((r) => r.score)) * 100} %, ` +
    `clock left at the end: mean ${Math.round(mean(sorted))} ms, median ${Math.round(sorted[Math.floor(sorted.length / 2)] ?? 0)} ms, ` +
    `lowest ${Math.round(Math.min(...all.map((r) => r.lowest)))} ms; flagged ${all.filter((r) => r.flagged).length}; ` +
    `ponder hits ${all.reduce((a, r) => a + r.hits, 0)}/${all.reduce((a, r) => a + r.ponders, 0)}`,
);
process.exit(0);
