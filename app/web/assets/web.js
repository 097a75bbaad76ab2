// nso serve: the little the pages need a script for. Every page works without it; with it, a
// tick of a chain is kept at once, a long action shows its progress live, and the grids are
// moved through with the arrow keys.
(function () {
  'use strict';
  var csrf = (document.querySelector('meta[name="csrf"]') || {}).content || '';

  function post(url, fields) {
    var body = new URLSearchParams(fields);
    body.append('csrf', csrf);
    return fetch(url, {
      method: 'POST',
      body: body,
      credentials: 'same-origin',
      headers: { 'X-Requested-With': 'fetch' }
    });
  }

  // The chain list: each tick is sent as it is made.
  function chains() {
    var form = document.getElementById('selection');
    if (!form) { return; }
    form.classList.add('live');
    form.addEventListener('change', function (event) {
      var box = event.target;
      if (!box.classList.contains('pick')) { return; }
      post('/select', { action: 'toggle', id: box.value, on: box.checked ? '1' : '0' })
        .then(function (response) { return response.ok ? response.text() : Promise.reject(); })
        .then(function (count) {
          var shown = document.getElementById('selected-count');
          if (shown) { shown.textContent = shown.textContent.replace(/^\d+/, count); }
          box.closest('tr').classList.toggle('picked', box.checked);
        })
        .catch(function () { box.checked = !box.checked; });
    });
  }

  // A long action: progress and what it waits for, then its outcome.
  function job() {
    var panel = document.getElementById('job');
    if (!panel || !window.EventSource) { return; }
    var source = new EventSource(panel.getAttribute('data-events'));
    function show(event) {
      var state = JSON.parse(event.data);
      var bar = document.getElementById('job-bar');
      bar.max = Math.max(state.maximum, 1);
      bar.value = state.current;
      document.getElementById('job-count').textContent =
        state.maximum > 0 ? state.current + '/' + state.maximum : '';
      document.getElementById('job-step').textContent = state.step;
      var waiting = document.getElementById('job-waiting');
      waiting.hidden = !state.waiting;
      waiting.querySelector('span').textContent = state.waiting;
    }
    source.addEventListener('progress', show);
    source.addEventListener('done', function () {
      source.close();
      window.location.reload();
    });
    source.onerror = function () {
      source.close();
      window.setTimeout(function () { window.location.reload(); }, 1000);
    };
  }

  // Grids: arrow keys up and down move to the same column of the row above or below, Escape
  // gives a cell back its value; a changed cell is marked until it is saved.
  function grids() {
    document.addEventListener('keydown', function (event) {
      var cell = event.target;
      if (!cell.closest || !cell.closest('table.grid')) { return; }
      if (event.key === 'Escape' && cell.tagName === 'INPUT' && cell.type !== 'checkbox') {
        cell.value = cell.defaultValue;
        cell.classList.remove('changed');
        return;
      }
      if (event.key !== 'ArrowUp' && event.key !== 'ArrowDown') { return; }
      var td = cell.closest('td');
      var tr = cell.closest('tr');
      if (!td || !tr) { return; }
      var rows = Array.prototype.slice.call(cell.closest('table').querySelectorAll('tr'));
      var index = Array.prototype.indexOf.call(tr.children, td);
      var at = rows.indexOf(tr);
      for (var step = event.key === 'ArrowUp' ? -1 : 1, i = at + step; i >= 0 && i < rows.length; i += step) {
        var target = rows[i].children[index];
        var next = target && target.querySelector('input');
        if (next) {
          event.preventDefault();
          next.focus();
          if (next.select && next.type !== 'checkbox') { next.select(); }
          return;
        }
      }
    });
    document.addEventListener('input', function (event) {
      var cell = event.target;
      if (cell.tagName === 'INPUT' && cell.closest('table.grid')) {
        cell.classList.toggle('changed', cell.value !== cell.defaultValue);
      }
    });
  }

  document.addEventListener('DOMContentLoaded', function () {
    chains();
    job();
    grids();
  });
})();
