(function () {
  var bars = {};
  var barWidth = 0;
  var ranges = null;
  // The Windows versions' score ranges, oldest first, as the service writes them into the page.
  function scoreRanges() {
    if (ranges) return ranges;
    ranges = [];
    var block = document.getElementById('score_ranges');
    try {
      var read = block ? JSON.parse(block.textContent) : [];
      if (Array.isArray(read)) ranges = read;
    } catch (e) {
      ranges = [];
    }
    return ranges;
  }
  // The score range of the assessment's Windows version: the result page shows the system's name
  // alone, the profile page the machine followed by the system in parentheses.
  function rangeMax() {
    var os = document.getElementById('system_information');
    var text = os ? os.textContent : '';
    var at = text.lastIndexOf('(Windows');
    var name = at >= 0 ? text.substring(at + 1) : text;
    var table = scoreRanges();
    for (var i = 0; i < table.length; i++) {
      if (name.indexOf(table[i].prefix) === 0) return table[i].highest;
    }
    var highest = 0;
    for (var key in bars) highest = Math.max(highest, bars[key].score);
    var newest = table.length > 0 ? table[table.length - 1].highest : Math.max(highest, 1);
    // A later Windows scores like the newest version known.
    if (name.indexOf('Windows') === 0) return newest;
    // No system named yet: the narrowest range that holds every score.
    for (var j = 0; j < table.length; j++) {
      if (highest <= table[j].highest) return table[j].highest;
    }
    return newest;
  }
  function draw() {
    var max = rangeMax();
    for (var key in bars) {
      var bar = bars[key];
      var fill = bar.element.querySelector('.fill');
      var value = bar.element.querySelector('.value');
      // The longest bar runs from the bar's own left edge to the nearer of the width the program gives
      // and the end of the page's column, leaving room for the score beside it.
      var box = bar.element.getBoundingClientRect();
      var right = barWidth > 0 ? Math.min(barWidth - 18, box.right) : box.right;
      var room = Math.max(40, right - box.left - 56);
      if (fill) {
        fill.style.width = Math.round(room * Math.max(0, Math.min(1, bar.score / max))) + 'px';
        if (/^#[0-9A-Fa-f]{3,8}$/.test(bar.colour)) fill.style.backgroundColor = bar.colour;
      }
      if (value) value.textContent = bar.text;
    }
  }
  window.setBarValue = function (selector, score, colour, width) {
    var element = null;
    try {
      element = document.querySelector(String(selector));
    } catch (e) {
      return false;  // not a selector at all
    }
    if (!element) return false;
    var number = parseFloat(score);
    bars[String(selector)] = { element: element, score: isFinite(number) ? number : 0,
                               text: String(score), colour: String(colour) };
    var w = parseFloat(width);
    if (isFinite(w) && w > 0) barWidth = w;
    draw();
    return true;
  };
  window.updateBarValue = function (width) {
    var w = parseFloat(width);
    if (isFinite(w) && w > 0) barWidth = w;
    draw();
    return true;
  };
  document.addEventListener('DOMContentLoaded', function () {
    var os = document.getElementById('system_information');
    if (os && window.MutationObserver)
      new MutationObserver(draw).observe(os, { childList: true, characterData: true, subtree: true });
  });
})();
