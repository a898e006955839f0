// Keeps the last few game events for the client and the console.
window.kestaObserver = {
  events: [],
  report(type, detail) {
    const event = { type, detail, at: Date.now() };
    this.events.push(event);
    if (this.events.length > 50) this.events.shift();
    console.log("[kesta]", type, JSON.stringify(detail));
  },
};
window.addEventListener("error", (e) => window.kestaObserver.report("error", { message: e.message }));
