// Standard input from bytes given at once, as a pipe gives it: the runtime's host.read.
export function piped(bytes) {
  let at = 0;
  return (capacity) => {
    if (at === bytes.length) return null;
    const piece = bytes.subarray(at, at + capacity);
    at += piece.length;
    return piece;
  };
}
