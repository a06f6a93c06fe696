// The web view's only script: printing, and lists that apply at once.
"use strict";
document.addEventListener("DOMContentLoaded", function () {
  var imprimir = document.getElementById("imprimir");
  if (imprimir) imprimir.addEventListener("click", function () { window.print(); });
  document.querySelectorAll("select.auto").forEach(function (select) {
    select.addEventListener("change", function () { select.form.submit(); });
  });
});
