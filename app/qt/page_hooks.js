// Injected into every page of the main frame, in a world of its own that the page's scripts cannot
// reach. Reports each click to the host through the web channel; the page's own handling of the
// click is left alone.
(function () {
  'use strict';
  if (window.top !== window) return;

  // No scroll bars of the view itself (the window takes the page's size instead); boxes inside the
  // page that scroll keep theirs. Adopted, so it needs no element of the document to exist yet.
  try {
    var sheet = new CSSStyleSheet();
    sheet.replaceSync('html::-webkit-scrollbar, body::-webkit-scrollbar { display: none; }');
    document.adoptedStyleSheets = document.adoptedStyleSheets.concat([sheet]);
  } catch (e) {
    // An engine without constructed style sheets shows the view's scroll bars.
  }
  var host = null;
  var waiting = [];

  function describe(element) {
    if (!element || element.nodeType !== 1) return null;
    var href = null;
    try {
      // An SVG link's href is an object, not an address: that counts as unreadable.
      if (typeof element.href === 'string') href = element.href;
    } catch (e) {
      href = null;
    }
    return {
      id: typeof element.id === 'string' ? element.id : '',
      tag: String(element.tagName || ''),
      hasHref: href !== null,
      href: href === null ? '' : href
    };
  }

  function send(kind, message) {
    if (host) {
      host[kind](message);
    } else {
      waiting.push([kind, message]);
    }
  }

  // Capture phase on the window: seen before any handler of the page could stop the event.
  window.addEventListener('click', function (event) {
    var target = event.target;
    if (target && target.nodeType !== 1) target = target.parentElement;
    var source = describe(target);
    if (!source) return;
    source.parent = target.parentElement ? describe(target.parentElement) : null;
    send('pageClicked', { page: String(window.location.href), source: source });
  }, true);

  // Two animation frames after the host asks: the page has been painted (test log only).
  window.__tallyhiveReportPainted = function (token) {
    window.requestAnimationFrame(function () {
      window.requestAnimationFrame(function () { send('pagePainted', token); });
    });
  };

  function connect() {
    if (typeof qt === 'undefined' || !qt.webChannelTransport) return false;
    new QWebChannel(qt.webChannelTransport, function (channel) {
      host = channel.objects.tallyhiveHost;
      while (waiting.length) {
        var next = waiting.shift();
        host[next[0]](next[1]);
      }
    });
    return true;
  }
  if (!connect()) document.addEventListener('DOMContentLoaded', connect);
})();
