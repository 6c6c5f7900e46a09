  /* c ? */ -- x ?
 EXECUTE PROCEDURE p(?)