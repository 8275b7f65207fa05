(function () {
  var bars = {};
  var barWidth = 0;
  // The score range of the assessment's Windows version: the result page shows the system's name
  // alone, the profile page the machine followed by the system in parentheses.
  function rangeMax() {
    var os = document.getElementById('system_information');
    var text = os ? os.textContent : '';
    var at = text.lastIndexOf('(Windows');
    var name = at >= 0 ? text.substring(at + 1) : text;
    if (name.indexOf('Windows Vista') === 0) return 5.9;
    if (name.indexOf('Windows 7') === 0) return 7.9;
    if (name.indexOf('Windows') === 0) return 9.9;
    var highest = 0;
    for (var key in bars) highest = Math.max(highest, bars[key].score);
    return highest > 7.9 ? 9.9 : (highest > 5.9 ? 7.9 : 5.9);
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
