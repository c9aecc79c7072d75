// {{plain}}: each script element that loads this file says where its text goes.
document.getElementById(document.currentScript.dataset.out).textContent = '{{plain}} {{rare}}';
