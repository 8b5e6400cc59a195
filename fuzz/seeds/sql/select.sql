SELECT * FROM T WHERE Id = 1 OR Name = 'one' AND NOT Flag;
