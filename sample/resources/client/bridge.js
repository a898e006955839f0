// The client's bridge for game pages: asks the local service about the
// resources this window runs on. The client adds the token and the
// generation to these requests itself.
window.kestaBridge = {
  async status() {
    const answer = await fetch("/api/game/status", { cache: "no-store" });
    if (!answer.ok) throw new Error("status " + answer.status);
    return answer.json();
  },
};
