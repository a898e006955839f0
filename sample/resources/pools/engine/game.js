// Harbor Run: loads its map and hero sprite, then draws the board.
(async () => {
  const status = document.getElementById("status");
  try {
    const map = await (await fetch("https://assets.kesta.test/maps/harbor.json")).json();
    const hero = new Image();
    hero.src = "https://assets.kesta.test/art/hero.svg";
    await hero.decode();
    const board = document.getElementById("board").getContext("2d");
    map.tiles.forEach((row, y) =>
      [...row].forEach((cell, x) => {
        board.fillStyle = cell === "~" ? "#2b6cb0" : "#c6a15b";
        board.fillRect(x * 32, y * 32, 32, 32);
      }));
    board.drawImage(hero, map.start[0] * 32, map.start[1] * 32, 32, 32);
    status.textContent = map.name;
    window.kestaObserver?.report("ready", { map: map.name });
  } catch (error) {
    status.textContent = "Cannot load the harbor: " + error;
    window.kestaObserver?.report("error", { message: String(error) });
  }
})();
