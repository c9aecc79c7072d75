document.getElementById('t-stray').textContent = '{{plain}} {{bytes:C3}}';
