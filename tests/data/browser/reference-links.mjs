// What a browser requests for each page of a folder: the page parsed by parse5 (the HTML
// standard's parser) and every address resolved by node's WHATWG URL, the document's base being
// its first <base href>. Prints, for each page, a line "== <file>", a line "title <title>" and
// its links one a line, sorted and without repeats: http(s) addresses without their fragment, and
// "invalid:<text>" for an address that does not parse.
//
//   node reference-links.mjs <folder> <base URL of the folder> <node_modules>
import { readFileSync, readdirSync } from 'node:fs';
import { join } from 'node:path';
import { pathToFileURL } from 'node:url';

const [folder, folderURL, modules] = process.argv.slice(2);
const { parse } = await import(pathToFileURL(join(modules, 'parse5/dist/index.js')).href);

const isSpace = (c) => c === ' ' || c === '\n' || c === '\t' || c === '\f' || c === '\r';

// The charset a browser picks for a page served without one: a <meta> in its first kilobyte.
function charsetOf(bytes) {
  const head = Buffer.from(bytes.subarray(0, 1024)).toString('latin1');
  const m = /<meta[^>]*charset\s*=\s*["']?([\w-]+)/i.exec(head);
  const label = m ? m[1].toLowerCase() : 'windows-1252';
  return ['utf-8', 'utf8'].includes(label) ? 'utf-8' : 'windows-1252';
}

// windows-1252's bytes for the code points it holds beyond Latin-1.
const high = [0x20ac, 0, 0x201a, 0x192, 0x201e, 0x2026, 0x2020, 0x2021, 0x2c6, 0x2030, 0x160, 0x2039,
  0x152, 0, 0x17d, 0, 0, 0x2018, 0x2019, 0x201c, 0x201d, 0x2022, 0x2013, 0x2014, 0x2dc, 0x2122,
  0x161, 0x203a, 0x153, 0, 0x17e, 0x178];

// A query as the URL standard encodes it for a windows-1252 page: the page's bytes, a character
// it has none for as "&#N;" (its "#" escaped, being in the query's set).
function encodeQuery(query) {
  let out = '';
  for (const ch of query) {
    const cp = ch.codePointAt(0);
    let byte = cp < 0x80 || (cp >= 0xa0 && cp <= 0xff) ? cp : high.indexOf(cp) >= 0 && cp ? 0x80 + high.indexOf(cp) : -1;
    if (byte < 0) out += `&%23${cp};`;
    else if (byte < 0x80) out += ch;
    else out += '%' + byte.toString(16).toUpperCase().padStart(2, '0');
  }
  return out;
}

function resolve(value, base, charset) {
  let text = value.replace(/^[\u0000-\u0020]+|[\u0000-\u0020]+$/g, '');
  if (charset !== 'utf-8') {
    const hash = text.indexOf('#');
    const q = text.indexOf('?');
    if (q >= 0 && (hash < 0 || q < hash)) {
      const end = hash < 0 ? text.length : hash;
      text = text.slice(0, q + 1) + encodeQuery(text.slice(q + 1, end)) + text.slice(end);
    }
  }
  try {
    return new URL(text, base);
  } catch {
    return 'invalid:' + text;
  }
}

// The same reading of url() and @import as the scanner's, comments skipped.
function cssAddresses(css) {
  const out = [];
  let i = 0;
  const lower = css.toLowerCase();
  const quoted = (at) => {
    const close = css.indexOf(css[at], at + 1);
    return [css.slice(at + 1, close < 0 ? css.length : close), close < 0 ? css.length : close + 1];
  };
  const urlFunction = (at) => {
    at += 4;
    while (at < css.length && isSpace(css[at])) at++;
    if (css[at] === '"' || css[at] === "'") return quoted(at);
    const close = css.indexOf(')', at);
    const end = close < 0 ? css.length : close;
    return [css.slice(at, end), end];
  };
  while (i < css.length) {
    let end = i + 1;
    if (css.startsWith('/*', i)) {
      const close = css.indexOf('*/', i + 2);
      end = close < 0 ? css.length : close + 2;
    } else if (css[i] === '@' && lower.startsWith('import', i + 1)) {
      let at = i + 7;
      while (at < css.length && isSpace(css[at])) at++;
      end = at;
      if (css[at] === '"' || css[at] === "'") { const [a, e] = quoted(at); out.push(a); end = e; }
      else if (lower.startsWith('url(', at)) { const [a, e] = urlFunction(at); out.push(a); end = e; }
    } else if (lower.startsWith('url(', i)) {
      const [a, e] = urlFunction(i); out.push(a); end = e;
    }
    i = Math.max(end, i + 1);
  }
  return out.map((a) => a.trim()).filter((a) => a);
}

function srcset(value) {
  const out = [];
  let i = 0;
  while (i < value.length) {
    while (i < value.length && (isSpace(value[i]) || value[i] === ',')) i++;
    if (i >= value.length) break;
    const start = i;
    while (i < value.length && !isSpace(value[i])) i++;
    let url = value.slice(start, i);
    if (url.endsWith(',')) url = url.replace(/,+$/, '');
    else {
      let depth = 0;
      for (; i < value.length; i++) {
        if (value[i] === '(') depth = 1;
        else if (value[i] === ')') depth = 0;
        else if (value[i] === ',' && depth === 0) break;
      }
    }
    if (url) out.push(url);
  }
  return out;
}

function refreshAddress(content) {
  const m = /^[\t\n\f\r ]*(\d*)([\d.]*)([\t\n\f\r ;,].*)?$/s.exec(content);
  if (!m || (m[1] === '' && !m[2].startsWith('.')) || !m[3]) return '';
  let rest = m[3].replace(/^[\t\n\f\r ]*[;,]?[\t\n\f\r ]*/, '');
  const u = /^url[\t\n\f\r ]*=[\t\n\f\r ]*/i.exec(rest);
  if (u) rest = rest.slice(u[0].length);
  if (rest[0] === '"' || rest[0] === "'") {
    const q = rest[0];
    rest = rest.slice(1);
    const close = rest.indexOf(q);
    if (close >= 0) rest = rest.slice(0, close);
  }
  return rest;
}

const linkRels = ['stylesheet', 'icon', 'apple-touch-icon', 'apple-touch-icon-precomposed', 'mask-icon',
  'preload', 'modulepreload', 'manifest'];

function pageLinks(html, pageURL, charset) {
  const doc = parse(html);
  const html5 = 'http://www.w3.org/1999/xhtml';
  const elements = [];
  (function walk(node) {
    for (const child of node.childNodes || []) {
      if (child.tagName) elements.push(child);
      walk(child); // a template's children are in its content, which is never walked
    }
  })(doc);
  const attr = (el, name) => el.attrs.find((a) => a.name === name)?.value;
  const ofHtml = elements.filter((el) => el.namespaceURI === html5);
  const baseElement = ofHtml.find((el) => el.tagName === 'base' && attr(el, 'href') !== undefined);
  let base = new URL(pageURL);
  if (baseElement) {
    const b = resolve(attr(baseElement, 'href'), pageURL, charset);
    if (typeof b !== 'string') base = b;
  }
  const written = [];
  const add = (value) => { if (value !== undefined && value.replace(/[\u0000-\u0020]/g, '') !== '') written.push(value); };
  for (const el of ofHtml) {
    const a = (name) => attr(el, name);
    switch (el.tagName) {
      case 'a': case 'area': add(a('href')); break;
      case 'img': add(a('src')); if (a('srcset') !== undefined) srcset(a('srcset')).forEach(add); break;
      case 'input': if ((a('type') || '').toLowerCase() === 'image') add(a('src')); break;
      case 'script': case 'iframe': case 'frame': case 'embed': case 'track': add(a('src')); break;
      case 'link': {
        const rels = (a('rel') || '').toLowerCase().split(/[\t\n\f\r ]+/);
        if (rels.some((r) => linkRels.includes(r))) add(a('href'));
        break;
      }
      case 'source': add(a('src')); if (a('srcset') !== undefined) srcset(a('srcset')).forEach(add); break;
      case 'video': add(a('poster')); add(a('src')); break;
      case 'audio': add(a('src')); break;
      case 'object': add(a('data')); break;
      case 'body': add(a('background')); break;
      case 'meta':
        if ((a('http-equiv') || '').toLowerCase() === 'refresh' && a('content') !== undefined)
          add(refreshAddress(a('content')));
        break;
      case 'style':
        cssAddresses(el.childNodes.map((t) => t.value || '').join('')).forEach(add);
        break;
    }
    if (a('style') !== undefined) cssAddresses(a('style')).forEach(add);
  }
  const links = new Set();
  for (const value of written) {
    const url = resolve(value, base, charset);
    if (typeof url === 'string') links.add(url);
    else if (url.protocol === 'http:' || url.protocol === 'https:') {
      url.hash = '';
      links.add(url.href);
    }
  }
  const title = ofHtml.find((el) => el.tagName === 'title');
  const titleText = title ? title.childNodes.map((t) => t.value || '').join('').replace(/[\t\n\f\r ]+/g, ' ').trim() : '';
  return { title: titleText, links: [...links].sort() };
}

// Every page under the folder, subfolders included, by its path from the folder.
const files = readdirSync(folder, { recursive: true }).filter((f) => f.endsWith('.html')).sort();
let out = '';
for (const file of files) {
  const bytes = readFileSync(join(folder, file));
  const charset = charsetOf(bytes);
  const html = new TextDecoder(charset).decode(bytes);
  const { title, links } = pageLinks(html, new URL(file, folderURL).href, charset);
  out += `== ${file}\ntitle ${title}\n` + links.map((l) => l + '\n').join('');
}
process.stdout.write(out);
