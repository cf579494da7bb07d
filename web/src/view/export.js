// The graph as files for a report: a self-contained SVG (the drawing with its colours written in,
// the equation above it and the legend under it) and a PNG of it, named after the runs.
import { element, svgNS } from './graph.js';

const drawn = ['fill', 'stroke', 'stroke-width', 'stroke-dasharray', 'font-size', 'font-family', 'font-style'];

// A file name from the runs: X0, accuracy and limit of each, in characters every system keeps.
export function fileName(runs, extension) {
  const parts = runs.map((run) => `x0_${run.x0}_eps_${run.eps}_n_${run.limit}`);
  const name = ['newton', ...parts].join('__').replace(/[^\w.+-]/g, '_').slice(0, 180);
  return `${name}.${extension}`;
}

// The standalone SVG text. `paper` switches the view to the colours it prints in while the drawing's
// styles are read; legend: [{ style, text }].
export function svgFile(svg, legend, paper) {
  const width = Number(svg.getAttribute('width'));
  const height = Number(svg.getAttribute('height'));
  const top = 28;
  const rows = 20;
  const total = top + height + rows * legend.length + 8;
  const file = element('svg', { xmlns: svgNS, width, height: total, viewBox: `0 0 ${width} ${total}` });
  const body = svg.cloneNode(true);
  paper(() => {
    const from = [svg, ...svg.querySelectorAll('*')];
    const to = [body, ...body.querySelectorAll('*')];
    from.forEach((node, i) => {
      const style = getComputedStyle(node);
      for (const property of drawn) to[i].setAttribute(property, style.getPropertyValue(property));
    });
    element('rect', { width, height: total, fill: '#ffffff' }, file);
    const add = (y, text, attributes = {}) => {
      element('text', { x: 8, y, 'font-family': 'sans-serif', 'font-size': 14, fill: '#1e1e1e', ...attributes }, file)
        .textContent = text;
    };
    add(19, 'F(x) = 2·e^(−x) + 0.2·x² − 1.5 — метод Ньютона');
    legend.forEach(({ style, text }, i) => {
      const line = body.querySelector(`.style-${style} .tangent`);
      const y = top + height + rows * i + 14;
      element('line', { x1: 8, x2: 40, y1: y - 4, y2: y - 4, 'stroke-width': 3,
                        stroke: line?.getAttribute('stroke') ?? '#1e1e1e',
                        'stroke-dasharray': line?.getAttribute('stroke-dasharray') ?? 'none' }, file);
      add(y, text, { x: 48, 'font-size': 13 });
    });
  });
  for (const attribute of ['tabindex', 'role', 'aria-label', 'aria-describedby', 'class']) body.removeAttribute(attribute);
  body.setAttribute('y', top);
  file.append(body);
  return new XMLSerializer().serializeToString(file);
}

export function download(blob, name) {
  const link = document.createElement('a');
  link.href = URL.createObjectURL(blob);
  link.download = name;
  document.body.append(link);
  link.click();
  link.remove();
  setTimeout(() => URL.revokeObjectURL(link.href), 60000);
}

// The SVG drawn at twice its size into a PNG.
export function pngOf(svgText) {
  return new Promise((resolve, reject) => {
    const image = new Image();
    const url = URL.createObjectURL(new Blob([svgText], { type: 'image/svg+xml' }));
    image.onload = () => {
      const canvas = document.createElement('canvas');
      canvas.width = image.width * 2;
      canvas.height = image.height * 2;
      const context = canvas.getContext('2d');
      context.scale(2, 2);
      context.drawImage(image, 0, 0);
      URL.revokeObjectURL(url);
      canvas.toBlob((blob) => (blob ? resolve(blob) : reject(new Error('PNG'))), 'image/png');
    };
    image.onerror = () => reject(new Error('SVG'));
    image.src = url;
  });
}
