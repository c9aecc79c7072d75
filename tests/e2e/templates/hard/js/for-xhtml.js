document.getElementById('t-xhtml').textContent = 'loaded by a page of another kind';
