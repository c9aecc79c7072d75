// Browsers read a module script as UTF-8, whatever the page declares.
document.getElementById('t-module').textContent = '{{plain}} {{rare}}';
