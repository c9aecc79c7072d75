document.getElementById('t-idiom').textContent = '{{plain}} {{rare}}';
