// On a touch screen, a row of keys under the console for what a soft keyboard may lack: Enter,
// Backspace, and during the key wait, any key. They keep the focus (and the soft keyboard) on the
// console's line.
// console: createConsole's interface; page: startPage's.
export function startTouchKeys(row, console, page) {
  const press = (name) => row.querySelector(`[data-key="${name}"]`);
  for (const button of row.querySelectorAll('button')) {
    button.addEventListener('mousedown', (event) => event.preventDefault());
  }
  press('enter').addEventListener('click', () => {
    console.input.dispatchEvent(new KeyboardEvent('keydown', { key: 'Enter', bubbles: true }));
  });
  press('erase').addEventListener('click', () => {
    const { input } = console;
    const { selectionStart: start, selectionEnd: end } = input;
    const before = [...input.value.slice(0, start)];
    before.pop();
    const from = start === end ? before.join('').length : start;
    input.setRangeText('', from, end, 'end');
    input.dispatchEvent(new Event('input'));
  });
  press('any').addEventListener('click', () => console.key(Uint8Array.of(13)));
  page.onState((state) => {
    press('any').hidden = state !== 'key';
  });
}
