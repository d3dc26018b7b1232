(function () {
  "use strict";
  // The page holds every finding as escaped table cells; this only reads
  // their text and shows or hides whole rows. Nothing is built from it.
  var table = document.getElementById("findings");
  var toolbar = document.getElementById("toolbar");
  if (!table || !toolbar) return;
  var rows = table.tBodies;
  var search = document.getElementById("search");
  var shown = document.getElementById("shown");
  var expand = document.getElementById("expand");
  var buttons = toolbar.querySelectorAll("button[data-filter]");
  var texts = null;
  var filter = "all";
  var timer = 0;

  function textOf(row) {
    var cell = row.querySelector(".txt");
    return cell ? cell.textContent.toLowerCase() : "";
  }

  function apply() {
    var query = search.value.trim().toLowerCase();
    if (query && !texts) {
      texts = [];
      for (var j = 0; j < rows.length; ++j) texts.push(textOf(rows[j]));
    }
    var count = 0;
    for (var i = 0; i < rows.length; ++i) {
      var row = rows[i];
      var show = (filter === "all" || row.classList.contains(filter)) &&
                 (!query || texts[i].indexOf(query) !== -1);
      if (row.hidden === show) row.hidden = !show;
      if (show) ++count;
    }
    shown.textContent = count === rows.length
        ? "Showing all " + rows.length.toLocaleString("en-US")
        : "Showing " + count.toLocaleString("en-US") + " of " + rows.length.toLocaleString("en-US");
  }

  for (var b = 0; b < buttons.length; ++b) {
    buttons[b].addEventListener("click", function (event) {
      filter = event.currentTarget.getAttribute("data-filter");
      for (var k = 0; k < buttons.length; ++k) {
        buttons[k].setAttribute("aria-pressed", buttons[k] === event.currentTarget ? "true" : "false");
      }
      apply();
    });
  }
  search.addEventListener("input", function () {
    clearTimeout(timer);
    timer = setTimeout(apply, rows.length > 2000 ? 120 : 0);
  });
  expand.addEventListener("click", function () {
    var open = expand.getAttribute("aria-pressed") !== "true";
    expand.setAttribute("aria-pressed", open ? "true" : "false");
    expand.textContent = open ? "Collapse all" : "Expand all";
    for (var i = 0; i < rows.length; ++i) {
      if (rows[i].hidden) continue;
      var details = rows[i].querySelector("details");
      if (details) details.open = open;
    }
  });
  document.addEventListener("keydown", function (event) {
    if (event.key === "/" && document.activeElement !== search) {
      event.preventDefault();
      search.focus();
    } else if (event.key === "Escape" && document.activeElement === search) {
      search.value = "";
      apply();
    }
  });
  toolbar.hidden = false;
  apply();
})();
