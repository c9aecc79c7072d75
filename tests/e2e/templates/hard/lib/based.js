document.getElementById('t-based').textContent = '{{plain}} {{rare}}';
