// The runs' styles: each a colour (in view.css), a dash pattern and a marker of its own, so that runs
// differ by more than colour. Run n takes style n mod `styleCount`: eight, so runs 0, 5 and 10 differ.
export const styleCount = 8;

export const styleOf = (id) => id % styleCount;

const markers = ['circle', 'square', 'triangle', 'diamond', 'cross', 'plus', 'down', 'star'];

export const markerOf = (style) => markers[style % markers.length];

// The SVG path of a style's marker of radius r centred on (x, y).
export function markerPath(style, x, y, r) {
  const polygon = (points) => `M${points.map(([px, py]) => `${x + px * r},${y + py * r}`).join('L')}z`;
  const star = [...Array(10).keys()].map((i) => {
    const angle = (Math.PI * i) / 5 - Math.PI / 2;
    const radius = i % 2 === 0 ? 1.3 : 0.55;
    return [radius * Math.cos(angle), radius * Math.sin(angle)];
  });
  const shapes = {
    circle: `M${x - r},${y}a${r},${r} 0 1,0 ${2 * r},0a${r},${r} 0 1,0 ${-2 * r},0z`,
    square: polygon([[-1, -1], [1, -1], [1, 1], [-1, 1]]),
    triangle: polygon([[0, -1.2], [1.1, 0.8], [-1.1, 0.8]]),
    diamond: polygon([[0, -1.3], [1, 0], [0, 1.3], [-1, 0]]),
    cross: `M${x - r},${y - r}L${x + r},${y + r}M${x + r},${y - r}L${x - r},${y + r}`,
    plus: `M${x - 1.2 * r},${y}H${x + 1.2 * r}M${x},${y - 1.2 * r}V${y + 1.2 * r}`,
    down: polygon([[0, 1.2], [1.1, -0.8], [-1.1, -0.8]]),
    star: polygon(star),
  };
  return shapes[markerOf(style)];
}
